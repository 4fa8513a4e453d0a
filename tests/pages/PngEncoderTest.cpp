// PNG encoding: the fixed header fields, the resolution chunk, no chunks beyond them,
// and pixels that survive the round trip.
#include "pages/PngEncoder.h"

#include <gtest/gtest.h>

#include "support/PngDecode.h"

namespace tarnhollow::test {
namespace {

RgbImage Gradient(int width, int height) {
    RgbImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.pixels.insert(image.pixels.end(), {static_cast<unsigned char>(x * 5), static_cast<unsigned char>(y * 3),
                                                     static_cast<unsigned char>(x ^ y)});
        }
    }
    return image;
}

TEST(PngEncoder, TruecolourEightBitsNotInterlacedAt96DotsPerInch) {
    struct Row {
        const char* description;
        int width, height;
    };
    const Row rows[] = {
        {"one pixel", 1, 1},
        {"portrait handheld screen", 240, 320},
        {"odd row length", 77, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        const RgbImage image = Gradient(row.width, row.height);
        const auto png = EncodePng(image);
        ASSERT_TRUE(png);
        const auto decoded = DecodePng(*png);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, static_cast<unsigned>(row.width));
        EXPECT_EQ(decoded->height, static_cast<unsigned>(row.height));
        EXPECT_EQ(decoded->bitDepth, 8);
        EXPECT_EQ(decoded->colorType, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(decoded->interlace, PNG_INTERLACE_NONE);
        EXPECT_TRUE(decoded->hasPhys);
        EXPECT_EQ(decoded->physX, 3780u);
        EXPECT_EQ(decoded->physY, 3780u);
        EXPECT_EQ(decoded->physUnit, PNG_RESOLUTION_METER);
        EXPECT_FALSE(decoded->hasPalette);
        EXPECT_FALSE(decoded->hasTransparency);
        EXPECT_FALSE(decoded->hasBackground);
        EXPECT_TRUE(decoded->pixels == image.pixels) << "rows top to bottom, channels red, green, blue";
    }
}

TEST(PngEncoder, NotAPictureGivesNoBytes) {
    struct Row {
        const char* description;
        RgbImage image;
    };
    const Row rows[] = {
        {"empty", RgbImage{}},
        {"zero width", RgbImage{0, 5, {}}},
        {"negative height", RgbImage{5, -1, {}}},
        {"too few pixel bytes", RgbImage{2, 2, std::vector<unsigned char>(11)}},
        {"beyond the PNG size limit", RgbImage{2000000, 1, std::vector<unsigned char>(6000000)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_FALSE(EncodePng(row.image));
    }
}

}  // namespace
}  // namespace tarnhollow::test
