// Box-averaging reduction of a 24-bit picture, with the counters that hand source
// columns and rows to destination pixels.
#include "pages/ShrinkToFit.h"

#include <cstdint>
#include <vector>

namespace tarnhollow {

namespace {

struct Sum {
    uint64_t red = 0, green = 0, blue = 0, count = 0;
};

}  // namespace

// Source columns go to destination columns by a counter that grows by the new width per
// source pixel and moves on when it passes the old width; rows likewise by the new
// height, moving on when the counter reaches the old height. Each destination pixel is
// the truncated mean of the source pixels it received.
void ShrinkToFit(RgbImage& image, int boxWidth, int boxHeight) {
    if (!image.IsValid() || boxWidth == 0 || boxHeight == 0) return;
    const int width = image.width, height = image.height;
    const float fx = static_cast<float>(width) / static_cast<float>(boxWidth);
    const float fy = static_cast<float>(height) / static_cast<float>(boxHeight);
    const float f = fx > fy ? fx : fy;
    if (!(f > 1.0f)) return;
    int newWidth, newHeight;
    if (f == fx) {
        newWidth = boxWidth;
        newHeight = static_cast<int>(static_cast<float>(boxHeight) * (fy / fx));
    } else {
        newHeight = boxHeight;
        newWidth = static_cast<int>(static_cast<float>(boxWidth) * (fx / fy));
    }
    // A sliver of a box (1 pixel against a wide screen) still gives a picture.
    if (newWidth < 1) newWidth = 1;
    if (newHeight < 1) newHeight = 1;
    if (newWidth > width) newWidth = width;
    if (newHeight > height) newHeight = height;

    std::vector<unsigned char> out(static_cast<size_t>(newWidth) * static_cast<size_t>(newHeight) * 3);
    std::vector<Sum> row(static_cast<size_t>(newWidth));
    const unsigned char* from = image.pixels.data();
    long long rowCounter = 0;
    int destinationRow = 0;
    for (int y = 0; y < height; ++y) {
        rowCounter += newHeight;
        long long columnCounter = 0;
        int destinationColumn = 0;
        for (int x = 0; x < width; ++x, from += 3) {
            Sum& sum = row[static_cast<size_t>(destinationColumn)];
            sum.red += from[0];
            sum.green += from[1];
            sum.blue += from[2];
            ++sum.count;
            columnCounter += newWidth;
            if (columnCounter > width) {
                columnCounter -= width;
                if (destinationColumn + 1 < newWidth) ++destinationColumn;
            }
        }
        if (rowCounter >= height) {
            rowCounter -= height;
            if (destinationRow < newHeight) {
                unsigned char* to = out.data() + static_cast<size_t>(destinationRow) * static_cast<size_t>(newWidth) * 3;
                for (Sum& sum : row) {
                    if (sum.count) {
                        to[0] = static_cast<unsigned char>(sum.red / sum.count);
                        to[1] = static_cast<unsigned char>(sum.green / sum.count);
                        to[2] = static_cast<unsigned char>(sum.blue / sum.count);
                    }
                    to += 3;
                    sum = Sum();
                }
            }
            ++destinationRow;
        }
    }
    image.width = newWidth;
    image.height = newHeight;
    image.pixels = std::move(out);
}

}  // namespace tarnhollow
