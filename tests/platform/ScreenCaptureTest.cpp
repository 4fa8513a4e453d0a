// Screen capture: every pixel of a painted root window comes back as 24-bit RGB, no
// display means no picture, and a display that went away is replaced on the next use.
#include "platform/ScreenCapture.h"

#include <gtest/gtest.h>

#include "support/Xvfb.h"

namespace tarnhollow::test {
namespace {

// Distinct values in every channel, so a swapped channel or a shifted row shows.
std::vector<unsigned char> Pattern(int width, int height) {
    std::vector<unsigned char> rgb;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            rgb.push_back(static_cast<unsigned char>(x * 7 + 3));
            rgb.push_back(static_cast<unsigned char>(y * 11 + 5));
            rgb.push_back(static_cast<unsigned char>((x + y) * 13));
        }
    }
    return rgb;
}

TEST(ScreenCapture, ThePaintedRootWindowComesBackPixelForPixel) {
    struct Row {
        const char* description;
        int width, height;
    };
    const Row rows[] = {
        {"portrait", 37, 53},
        {"landscape", 64, 21},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        XvfbServer xvfb(row.width, row.height);
        ASSERT_TRUE(xvfb.Running()) << "Xvfb did not start (scripts/install-deps.sh test installs it)";
        const auto painted = Pattern(row.width, row.height);
        ASSERT_TRUE(PaintRoot(xvfb.Display(), row.width, row.height, painted));
        ScopedDisplayVariable display(xvfb.Display());
        ScreenCapture screen;
        auto image = screen.CaptureScreen();
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, row.width);
        EXPECT_EQ(image->height, row.height);
        EXPECT_TRUE(image->pixels == painted);
    }
}

TEST(ScreenCapture, WithoutADisplayThereIsNoPicture) {
    ScopedDisplayVariable noDisplay("");
    ScreenCapture screen;
    EXPECT_FALSE(screen.CaptureScreen());
}

TEST(ScreenCapture, ALostDisplayIsSurvivedAndTheNextOneIsUsed) {
    ScreenCapture screen;
    XvfbServer first(40, 30);
    ASSERT_TRUE(first.Running());
    {
        ScopedDisplayVariable display(first.Display());
        ASSERT_TRUE(screen.CaptureScreen());
        first.Stop();
        EXPECT_FALSE(screen.CaptureScreen());
    }
    XvfbServer second(50, 20);
    ASSERT_TRUE(second.Running());
    ScopedDisplayVariable display(second.Display());
    auto image = screen.CaptureScreen();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 50);
    EXPECT_EQ(image->height, 20);
}

}  // namespace
}  // namespace tarnhollow::test
