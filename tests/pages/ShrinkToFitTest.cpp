// Shrinking to a box: new sizes by the single-precision rules, box averaging with its
// uneven first column and truncated means, and pictures never enlarged.
#include "pages/ShrinkToFit.h"

#include <gtest/gtest.h>

namespace tarnhollow::test {
namespace {

RgbImage Uniform(int width, int height, unsigned char r, unsigned char g, unsigned char b) {
    RgbImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) image.pixels.insert(image.pixels.end(), {r, g, b});
    return image;
}

TEST(ShrinkToFit, NewSizes) {
    struct Row {
        const char* description;
        int width, height, boxWidth, boxHeight;
        int newWidth, newHeight;
    };
    const Row rows[] = {
        {"portrait screen: the height decides", 240, 320, 100, 100, 75, 100},
        {"landscape screen: the width decides", 320, 240, 100, 100, 100, 75},
        {"a tie goes to the width", 200, 200, 100, 100, 100, 100},
        {"full HD into a thumbnail box", 1920, 1080, 100, 100, 100, 56},
        {"a box larger than the screen: never enlarged", 240, 320, 480, 640, 240, 320},
        {"a box of the screen's own size", 240, 320, 240, 320, 240, 320},
        {"both sides negative: full size", 240, 320, -100, -100, 240, 320},
        {"a negative width lets the height decide", 240, 320, -100, 100, 75, 100},
        {"a negative height lets the width decide", 320, 240, 100, -100, 100, 75},
        {"a zero side: nothing to fit", 240, 320, 0, 100, 240, 320},
        {"a sliver of a picture keeps one row", 2000, 1, 100, 100, 100, 1},
        {"a one-pixel box", 240, 320, 1, 1, 1, 1},
        {"odd sizes truncate", 333, 777, 50, 50, 21, 50},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        RgbImage image = Uniform(row.width, row.height, 1, 2, 3);
        ShrinkToFit(image, row.boxWidth, row.boxHeight);
        EXPECT_EQ(image.width, row.newWidth);
        EXPECT_EQ(image.height, row.newHeight);
        EXPECT_TRUE(image.IsValid());
    }
}

TEST(ShrinkToFit, EveryDestinationPixelIsAMeanOfSourcePixels) {
    // A uniform picture stays uniform only when no destination pixel is left empty.
    const int sizes[][4] = {{240, 320, 100, 100}, {320, 240, 100, 100}, {1920, 1080, 100, 100}, {641, 479, 97, 13},
                            {1000, 3, 7, 7},      {5, 900, 3, 3},        {1920, 1080, 1919, 1080}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + " into " + std::to_string(size[2]) +
                     "x" + std::to_string(size[3]));
        RgbImage image = Uniform(size[0], size[1], 200, 100, 50);
        ShrinkToFit(image, size[2], size[3]);
        ASSERT_TRUE(image.IsValid());
        EXPECT_EQ(image.pixels, Uniform(image.width, image.height, 200, 100, 50).pixels);
    }
}

TEST(ShrinkToFit, ColumnsAndRowsAreGroupedByTheCountersAndMeansTruncated) {
    // 4 by 2 into a 2 by 1 box gives 2 by 1. Columns: the counter passes 4 only after
    // the third pixel, so the first destination column takes three source columns and
    // the second takes one. Rows: both source rows make the one destination row.
    RgbImage image{4, 2, {
        10, 0, 255,  20, 0, 255,  31, 0, 255,  100, 1, 0,
         0, 0, 255,   0, 1, 255,   0, 0, 254,   51, 0, 0,
    }};
    ShrinkToFit(image, 2, 1);
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 1);
    // Red (10+20+31)/6 = 10.17 -> 10, green 1/6 -> 0, blue (5*255+254)/6 = 254.8 -> 254;
    // then red 151/2 = 75.5 -> 75, green 1/2 -> 0, blue 0.
    const std::vector<unsigned char> expected = {10, 0, 254, 75, 0, 0};
    EXPECT_EQ(image.pixels, expected);
}

TEST(ShrinkToFit, RowsMoveOnWhenTheirCounterReachesTheOldHeight) {
    // 1 by 4 into a 1 by 2 box: the row counter reaches 4 after the second and the
    // fourth row, so each destination row is the mean of two source rows.
    RgbImage image{1, 4, {0, 0, 0, 9, 9, 9, 100, 100, 100, 201, 201, 201}};
    ShrinkToFit(image, 1, 2);
    ASSERT_EQ(image.width, 1);
    ASSERT_EQ(image.height, 2);
    const std::vector<unsigned char> expected = {4, 4, 4, 150, 150, 150};
    EXPECT_EQ(image.pixels, expected);
}

TEST(ShrinkToFit, AnInvalidPictureIsLeftAlone) {
    RgbImage image{10, 10, std::vector<unsigned char>(10)};
    ShrinkToFit(image, 2, 2);
    EXPECT_EQ(image.width, 10);
    EXPECT_EQ(image.pixels.size(), 10u);
}

}  // namespace
}  // namespace tarnhollow::test
