// The screenshot through the real binary on an Xvfb display of the test's own: the
// painted screen as PNG pixel for pixel and shrunk, the index page, the placeholder.
#include <gtest/gtest.h>

#include "pages/ShrinkToFit.h"
#include "support/PngDecode.h"
#include "support/TestSupport.h"
#include "support/Xvfb.h"

namespace tarnhollow::test {
namespace {

constexpr char kPlaceholder[] = "the placeholder picture";

// Bands of distinct colours with a fine gradient inside, so that a shifted row, a
// swapped channel or a wrong mean all show.
RgbImage Painting(int width, int height) {
    RgbImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int band = (x / 40 + y / 40) % 3;
            image.pixels.push_back(static_cast<unsigned char>(band == 0 ? 200 + x % 50 : x % 7));
            image.pixels.push_back(static_cast<unsigned char>(band == 1 ? 180 + y % 70 : y % 5));
            image.pixels.push_back(static_cast<unsigned char>(band == 2 ? 255 - (x + y) % 30 : 3));
        }
    }
    return image;
}

struct ScreenAndServer {
    ScreenAndServer(int width, int height) : xvfb(width, height), painting(Painting(width, height)) {
        if (!xvfb.Running() || !PaintRoot(xvfb.Display(), width, height, painting.pixels)) return;
        server = std::make_unique<ServerProcess>(
            ServerProcess::Options{.root = root.Path(), .environment = {"DISPLAY=" + xvfb.Display()}});
        if (!server->WaitUntilListening()) return;
        root.Write("ScreenShot/screenshot.png", kPlaceholder);
        ready = true;
    }
    XvfbServer xvfb;
    RgbImage painting;
    TempDir root;
    std::unique_ptr<ServerProcess> server;
    bool ready = false;
};

TEST(ScreenshotServer, TheScreenComesBackAsPngPixelForPixelAndShrunkToTheBox) {
    struct Row {
        const char* description;
        int screenWidth, screenHeight;
        std::string query;
        int width, height;
    };
    const Row rows[] = {
        {"portrait, no box", 240, 320, "", 240, 320},
        {"portrait into 100 by 100", 240, 320, "?width=100&height=100", 75, 100},
        {"portrait, larger box", 240, 320, "?width=480&height=640", 240, 320},
        {"portrait, only the width", 240, 320, "?width=100", 240, 320},
        {"landscape, no box", 320, 240, "", 320, 240},
        {"landscape into 100 by 100", 320, 240, "?width=100&height=100", 100, 75},
        {"landscape, only the height", 320, 240, "?height=100", 320, 240},
    };
    std::unique_ptr<ScreenAndServer> screen;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        if (!screen || screen->painting.width != row.screenWidth) {
            screen.reset();
            screen = std::make_unique<ScreenAndServer>(row.screenWidth, row.screenHeight);
        }
        ASSERT_TRUE(screen->ready) << "Xvfb or the server did not start (scripts/install-deps.sh test installs Xvfb)";
        const Response answer = Get(screen->server->Port(), "/ScreenShot/screenshot.png" + row.query);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
        EXPECT_EQ(answer.Header("Content-Type"), "image/png");
        EXPECT_EQ(answer.Header("Content-Length"), std::to_string(answer.body.size()));
        const auto png = DecodePng(answer.body);
        ASSERT_TRUE(png);
        ASSERT_EQ(png->width, static_cast<unsigned>(row.width));
        ASSERT_EQ(png->height, static_cast<unsigned>(row.height));
        RgbImage expected = screen->painting;
        if (row.width != row.screenWidth) ShrinkToFit(expected, 100, 100);
        ASSERT_EQ(png->pixels.size(), expected.pixels.size());
        size_t differing = 0;
        for (size_t i = 0; i < expected.pixels.size(); ++i) differing += expected.pixels[i] != png->pixels[i];
        EXPECT_EQ(differing, 0u) << "bytes that differ from the painted screen";
    }
}

TEST(ScreenshotServer, TheFolderAndItsIndexPageArePagesNotPictures) {
    ScreenAndServer screen(240, 320);
    ASSERT_TRUE(screen.ready);
    screen.root.Write("ScreenShot/index.html", "<html><body>Screen index</body></html>");
    const Response folder = Get(screen.server->Port(), "/ScreenShot/");
    EXPECT_EQ(folder.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(folder.Header("Location"), "/ScreenShot/index.html");
    const Response index = Get(screen.server->Port(), "/ScreenShot/index.html?width=100&height=100");
    EXPECT_EQ(index.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(index.Header("Content-Type"), "text/html");
    EXPECT_NE(index.body.find("Screen index"), std::string::npos);
}

TEST(ScreenshotServer, WithoutADisplayThePlaceholderIsServed) {
    TempDir root;
    ServerProcess server({.root = root.Path(), .environment = {"DISPLAY="}});
    ASSERT_TRUE(server.WaitUntilListening());
    root.Write("ScreenShot/screenshot.png", kPlaceholder);
    const Response answer = Get(server.Port(), "/ScreenShot/screenshot.png?width=100&height=100");
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(answer.Header("Content-Type"), "image/png");
    EXPECT_EQ(answer.Header("Content-Length"), std::to_string(sizeof kPlaceholder - 1));
    EXPECT_EQ(answer.body, kPlaceholder);
}

}  // namespace
}  // namespace tarnhollow::test
