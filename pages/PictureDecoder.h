// Decoding the pictures of the document root (JPEG and PNG, whatever their names say)
// into 24-bit RGB for their thumbnails. Every file is hostile input: sizes are checked
// against named limits before anything is allocated for them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/RgbImage.h"

namespace tarnhollow {

// Files larger than this are not read for a thumbnail.
inline constexpr size_t kMaxPictureFileBytes = 64 * 1024 * 1024;
// The most pixels a decoded picture may hold (three bytes each, 72 MB): a 12-megapixel
// PNG decodes with room to spare (a JPEG decodes reduced), a PNG that claims millions by
// millions is refused before its pixels are read.
inline constexpr long long kMaxDecodedPixels = 24LL * 1000 * 1000;

// The most memory libjpeg may use for one file beyond its output rows: a progressive
// file keeps every coefficient of the picture (a 12-megapixel photo needs about 36 MB),
// and a file of a few hundred bytes can claim gigabytes of them.
inline constexpr long kMaxJpegWorkingBytes = 128L * 1024 * 1024;
// The most scans a progressive file may have; each costs a pass over the picture.
inline constexpr int kMaxJpegScans = 500;

// The picture in `bytes` at least `minWidth` by `minHeight` where it is that large: a
// JPEG is decoded at the smallest of its built-in reductions (1/8 to 1) that keeps both
// sides, so a large photo never decodes at full size. A PNG with transparency is set on
// white. Nothing when the bytes are neither format or cannot be decoded; a JPEG cut short
// decodes with its missing part grey.
std::optional<RgbImage> DecodePicture(std::string_view bytes, int minWidth, int minHeight);

// JPEG bytes of `image` at `quality` (1 to 100); nothing when the image is not valid or
// encoding fails.
std::optional<std::string> EncodeJpeg(const RgbImage& image, int quality);

}  // namespace tarnhollow
