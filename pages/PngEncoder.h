// Encoding the screen picture as PNG in memory.
#pragma once

#include <optional>
#include <string>

#include "platform/RgbImage.h"

namespace tarnhollow {

// The PNG bytes of `image`: truecolour, 8 bits per channel, not interlaced, with a
// pHYs chunk of 3780 by 3780 pixels per metre (96 dots per inch), rows top to bottom,
// libpng's default compression and filtering. Nothing when the image is not valid or
// libpng fails.
std::optional<std::string> EncodePng(const RgbImage& image);

}  // namespace tarnhollow
