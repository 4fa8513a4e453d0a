// A picture of the screen as the screenshot service handles it: 24-bit RGB, three bytes
// per pixel (red, green, blue), rows top to bottom with no padding between them.
#pragma once

#include <cstddef>
#include <vector>

namespace tarnhollow {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    // Whether the pixel bytes match the size: anything else is not a picture.
    bool IsValid() const {
        return width > 0 && height > 0 &&
               pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    }
};

}  // namespace tarnhollow
