// PNG encoding through libpng's write structures, kept safe from libpng's longjmp
// error reports.
#include "pages/PngEncoder.h"

#include <png.h>

#include <csetjmp>
#include <new>

namespace tarnhollow {

namespace {

constexpr png_uint_32 kPixelsPerMetre = 3780;

struct Output {
    std::string* bytes;
    bool failed = false;
};

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* output = static_cast<Output*>(png_get_io_ptr(png));
    try {
        output->bytes->append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        output->failed = true;
    }
    if (output->failed) png_error(png, "out of memory");
}

void FlushBytes(png_structp) {}

// libpng's own handlers print to stderr; a failure is reported by the result instead.
[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: this function holds no object with a destructor,
// and nothing thrown ever crosses libpng's frames.
bool WritePng(const RgbImage& image, Output& output) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &output, WriteBytes, FlushBytes);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, kPixelsPerMetre, kPixelsPerMetre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(image.width) * 3;
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.pixels.data() + static_cast<size_t>(y) * stride);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::optional<std::string> EncodePng(const RgbImage& image) {
    if (!image.IsValid()) return std::nullopt;
    std::string bytes;
    Output output{&bytes};
    if (!WritePng(image, output)) return std::nullopt;
    return bytes;
}

}  // namespace tarnhollow
