// Reading PNG bytes back for the tests of the screenshot: the header fields that the
// encoder fixes, the resolution chunk, the chunks it must leave out, and the pixels.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace tarnhollow::test {

struct DecodedPng {
    unsigned width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    bool hasPhys = false;
    png_uint_32 physX = 0, physY = 0;
    int physUnit = -1;
    bool hasPalette = false, hasTransparency = false, hasBackground = false;
    std::vector<unsigned char> pixels;  // RGB, rows top to bottom
};

namespace png_detail {
struct Input {
    const std::string* bytes;
    size_t at = 0;
};
inline void Read(png_structp png, png_bytep data, png_size_t length) {
    auto* input = static_cast<Input*>(png_get_io_ptr(png));
    if (input->at + length > input->bytes->size()) png_error(png, "truncated");
    std::memcpy(data, input->bytes->data() + input->at, length);
    input->at += length;
}
inline void Quiet(png_structp, png_const_charp) {}
inline void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Free of objects with destructors between setjmp and the libpng calls.
inline bool DecodeInto(const std::string& bytes, DecodedPng& out) {
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    Input input{&bytes};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &input, Read);
    png_read_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    out.bitDepth = png_get_bit_depth(png, info);
    out.colorType = png_get_color_type(png, info);
    out.interlace = png_get_interlace_type(png, info);
    out.hasPhys = png_get_pHYs(png, info, &out.physX, &out.physY, &out.physUnit) != 0;
    out.hasPalette = png_get_valid(png, info, PNG_INFO_PLTE) != 0;
    out.hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    out.hasBackground = png_get_valid(png, info, PNG_INFO_bKGD) != 0;
    if (out.bitDepth != 8 || out.colorType != PNG_COLOR_TYPE_RGB || out.interlace != PNG_INTERLACE_NONE) {
        png_destroy_read_struct(&png, &info, nullptr);
        return true;
    }
    out.pixels.resize(static_cast<size_t>(out.width) * out.height * 3);
    for (unsigned y = 0; y < out.height; ++y) png_read_row(png, out.pixels.data() + static_cast<size_t>(y) * out.width * 3, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
}  // namespace png_detail

inline std::optional<DecodedPng> DecodePng(const std::string& bytes) {
    DecodedPng out;
    if (!png_detail::DecodeInto(bytes, out)) return std::nullopt;
    return out;
}

}  // namespace tarnhollow::test
