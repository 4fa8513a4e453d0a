// JPEG through libjpeg, with a bound on the memory and scans a file may make it use;
// PNG through libpng's simplified reading, which keeps its longjmp to itself.
#include "pages/PictureDecoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace tarnhollow {

namespace {

constexpr unsigned char kJpegSignature[] = {0xFF, 0xD8, 0xFF};
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool StartsWith(std::string_view bytes, const unsigned char* signature, size_t size) {
    return bytes.size() >= size && std::memcmp(bytes.data(), signature, size) == 0;
}

bool FitsLimit(long long width, long long height) {
    return width > 0 && height > 0 && width <= kMaxDecodedPixels / height;
}

// libjpeg reports errors by longjmp; the functions that call it hold no object with a
// destructor, and nothing thrown crosses its frames.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }
// Warnings (data cut short, a corrupt segment) leave a picture with grey where data was
// missing; they are not printed.
void OnJpegMessage(j_common_ptr, int) {}
void OnJpegOutput(j_common_ptr) {}

void UseQuietErrors(JpegErrors& errors) {
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    errors.manager.output_message = OnJpegOutput;
}

// A progressive file of endless scans would hold the worker for long: it is refused.
void LimitScans(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
        info->err->msg_code = 0;
        info->err->error_exit(info);
    }
}

// The smallest of libjpeg's reductions (n/8) that keeps the picture at least the box's
// size, else full size.
int ScaleEighths(unsigned width, unsigned height, int minWidth, int minHeight) {
    for (int eighths = 1; eighths < 8; ++eighths) {
        const unsigned long long w = (static_cast<unsigned long long>(width) * eighths + 7) / 8;
        const unsigned long long h = (static_cast<unsigned long long>(height) * eighths + 7) / 8;
        if (w >= static_cast<unsigned long long>(minWidth) && h >= static_cast<unsigned long long>(minHeight)) {
            return eighths;
        }
    }
    return 8;
}

bool ReadJpeg(std::string_view bytes, int minWidth, int minHeight, RgbImage& image) {
    jpeg_decompress_struct info;
    JpegErrors errors;
    jpeg_progress_mgr progress;
    UseQuietErrors(errors);
    info.err = &errors.manager;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    // Whatever the file claims, decoding holds no more than this: a progressive file
    // keeps all its coefficients, and a small file can claim a great many.
    info.mem->max_memory_to_use = kMaxJpegWorkingBytes;
    progress.progress_monitor = LimitScans;
    info.progress = &progress;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    info.scale_num = static_cast<unsigned>(ScaleEighths(info.image_width, info.image_height, minWidth, minHeight));
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    if (info.output_components != 3 || !FitsLimit(info.output_width, info.output_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.pixels.data() + static_cast<size_t>(info.output_scanline) * static_cast<size_t>(image.width) * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

std::optional<RgbImage> DecodeJpeg(std::string_view bytes, int minWidth, int minHeight) {
    RgbImage image;
    if (!ReadJpeg(bytes, minWidth, minHeight, image)) return std::nullopt;
    return image;
}

// The compressed bytes go to a buffer libjpeg allocates; it is freed by the caller
// whether or not encoding finished.
bool WriteJpeg(const RgbImage& image, int quality, unsigned char*& buffer, unsigned long& size) {
    jpeg_compress_struct info;
    JpegErrors errors;
    UseQuietErrors(errors);
    info.err = &errors.manager;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        // libjpeg takes rows as writable pointers but only reads them.
        JSAMPROW row = const_cast<unsigned char*>(image.pixels.data()) +
                       static_cast<size_t>(info.next_scanline) * static_cast<size_t>(image.width) * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

struct PngReading {
    png_image image{};
    PngReading() { image.version = PNG_IMAGE_VERSION; }
    ~PngReading() { png_image_free(&image); }
};

std::optional<RgbImage> DecodePng(std::string_view bytes) {
    PngReading reading;
    if (!png_image_begin_read_from_memory(&reading.image, bytes.data(), bytes.size())) return std::nullopt;
    if (!FitsLimit(reading.image.width, reading.image.height)) return std::nullopt;
    reading.image.format = PNG_FORMAT_RGB;
    RgbImage image;
    image.width = static_cast<int>(reading.image.width);
    image.height = static_cast<int>(reading.image.height);
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
    const png_color white = {255, 255, 255};
    if (!png_image_finish_read(&reading.image, &white, image.pixels.data(), 0, nullptr)) return std::nullopt;
    return image;
}

}  // namespace

std::optional<RgbImage> DecodePicture(std::string_view bytes, int minWidth, int minHeight) {
    if (bytes.size() > kMaxPictureFileBytes) return std::nullopt;
    if (StartsWith(bytes, kJpegSignature, sizeof kJpegSignature)) return DecodeJpeg(bytes, minWidth, minHeight);
    if (StartsWith(bytes, kPngSignature, sizeof kPngSignature)) return DecodePng(bytes);
    return std::nullopt;
}

std::optional<std::string> EncodeJpeg(const RgbImage& image, int quality) {
    if (!image.IsValid()) return std::nullopt;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::optional<std::string> out;
    if (WriteJpeg(image, quality, buffer, size) && buffer) out = std::string(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

}  // namespace tarnhollow
