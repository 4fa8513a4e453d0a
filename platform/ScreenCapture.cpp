// Reading the root window through Xlib and turning its pixels into 24-bit RGB.
#include "platform/ScreenCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace tarnhollow {

namespace {

// One colour channel of a true-colour pixel, scaled to 8 bits.
struct Channel {
    unsigned long mask;
    int shift = 0;
    unsigned long maximum = 0;

    explicit Channel(unsigned long m) : mask(m) {
        if (mask == 0) return;
        while (!((mask >> shift) & 1)) ++shift;
        maximum = mask >> shift;
    }
    unsigned char From(unsigned long pixel) const {
        if (maximum == 0) return 0;
        return static_cast<unsigned char>(((pixel & mask) >> shift) * 255 / maximum);
    }
};

struct ImageDeleter {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

// The common layout of 24- and 32-bit displays: blue, green, red, unused in memory.
bool IsLittleEndianXrgb(const XImage& image, const Visual& visual) {
    return image.bits_per_pixel == 32 && image.byte_order == LSBFirst && visual.red_mask == 0xFF0000 &&
           visual.green_mask == 0xFF00 && visual.blue_mask == 0xFF;
}

}  // namespace

std::optional<RgbImage> ScreenCapture::CaptureScreen() {
    Display* display = display_.Get();
    if (!display) return std::nullopt;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, root, &attributes) || !attributes.visual) return std::nullopt;
    // Other visual classes hold colour-map indexes rather than colours.
    if (attributes.visual->c_class != TrueColor) return std::nullopt;
    if (attributes.width <= 0 || attributes.height <= 0) return std::nullopt;

    std::unique_ptr<XImage, ImageDeleter> image(XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                                                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap));
    if (!image) return std::nullopt;

    RgbImage out;
    out.width = image->width;
    out.height = image->height;
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3);
    unsigned char* to = out.pixels.data();
    const Visual& visual = *attributes.visual;
    if (IsLittleEndianXrgb(*image, visual)) {
        for (int y = 0; y < out.height; ++y) {
            const auto* from = reinterpret_cast<const unsigned char*>(image->data) +
                               static_cast<size_t>(y) * static_cast<size_t>(image->bytes_per_line);
            for (int x = 0; x < out.width; ++x, from += 4) {
                *to++ = from[2];
                *to++ = from[1];
                *to++ = from[0];
            }
        }
        return out;
    }
    const Channel red(visual.red_mask), green(visual.green_mask), blue(visual.blue_mask);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const unsigned long pixel = XGetPixel(image.get(), x, y);
            *to++ = red.From(pixel);
            *to++ = green.From(pixel);
            *to++ = blue.From(pixel);
        }
    }
    return out;
}

}  // namespace tarnhollow
