// The screenshot service in memory: PNG answers with their length, the box parameters
// read as "%d" reads them, the index page, and the placeholder when there is no picture.
#include "pages/ScreenshotService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "pages/PagesHarness.h"
#include "pages/PngEncoder.h"
#include "pages/ShrinkToFit.h"
#include "support/PngDecode.h"

namespace tarnhollow::test {
namespace {

class FakeScreen : public ScreenCapture {
public:
    std::optional<RgbImage> CaptureScreen() override {
        // A slow display: the capture waits until the test lets it go.
        if (gate.valid()) gate.wait_for(std::chrono::seconds(10));
        ++captures;
        return picture;
    }
    std::optional<RgbImage> picture;
    int captures = 0;
    std::shared_future<void> gate;
};

RgbImage Screen(int width, int height) {
    RgbImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        image.pixels.insert(image.pixels.end(), {static_cast<unsigned char>(i), static_cast<unsigned char>(i / 7), 99});
    }
    return image;
}

struct ScreenshotSite : ServiceUnderTest<ScreenshotService, FakeScreen> {
    ScreenshotSite() {
        root.Write("ScreenShot/screenshot.png", "placeholder");
        root.Write("ScreenShot/index.htm", "<html><body>Screen pages</body></html>");
        platform.picture = Screen(240, 320);
    }
    FakeScreen& screen = platform;
};

TEST(Screenshot, TheScreenIsSentAsPngShrunkToTheBoxWhenBothSidesAreGiven) {
    struct Row {
        const char* description;
        int screenWidth, screenHeight;
        std::map<std::wstring, std::wstring> parameters;
        int width, height;
    };
    const Row rows[] = {
        {"no parameters: full size", 240, 320, {}, 240, 320},
        {"portrait into 100 by 100", 240, 320, {{L"width", L"100"}, {L"height", L"100"}}, 75, 100},
        {"only the width: full size", 240, 320, {{L"width", L"100"}}, 240, 320},
        {"negative sides: full size", 240, 320, {{L"width", L"-100"}, {L"height", L"-100"}}, 240, 320},
        {"not numbers count as 0: full size", 240, 320, {{L"width", L"abc"}, {L"height", L"100"}}, 240, 320},
        {"blanks, a sign and trailing text", 240, 320, {{L"width", L"  +100px"}, {L"height", L"100.9"}}, 75, 100},
        {"numbers beyond int: full size", 240, 320, {{L"width", L"99999999999999"}, {L"height", L"99999999999"}}, 240, 320},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        ScreenshotSite shot;
        shot.screen.picture = Screen(row.screenWidth, row.screenHeight);
        const Response answer = shot.Request(L"/ScreenShot/screenshot.png", row.parameters);
        ASSERT_TRUE(shot.handled);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
        EXPECT_EQ(answer.Header("Content-Type"), "image/png");
        EXPECT_EQ(answer.Header("Content-Length"), std::to_string(answer.body.size()));
        const auto decoded = DecodePng(answer.body);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, static_cast<unsigned>(row.width));
        EXPECT_EQ(decoded->height, static_cast<unsigned>(row.height));
        RgbImage expected = *shot.screen.picture;
        if (row.width != row.screenWidth || row.height != row.screenHeight) ShrinkToFit(expected, 100, 100);
        EXPECT_TRUE(decoded->pixels == expected.pixels);
    }
}

TEST(Screenshot, ASlowCaptureDoesNotHoldTheServerThread) {
    ScreenshotSite shot;
    std::promise<void> release;
    shot.screen.gate = release.get_future().share();
    PreparedRequest prepared(shot.root, L"/ScreenShot/screenshot.png");
    EXPECT_TRUE(shot.service.Handle(prepared.request));
    // Back on the server thread while the capture still waits: other clients are served.
    EXPECT_TRUE(prepared.sink.deferred);
    EXPECT_EQ(shot.screen.captures, 0);
    release.set_value();
    shot.Settle();
    EXPECT_FALSE(prepared.sink.deferred);
    EXPECT_TRUE(DecodePng(prepared.Answer().body));
}

TEST(Screenshot, AnyFileUnderScreenShotIsAnsweredWithThePicture) {
    ScreenshotSite shot;
    shot.root.Write("ScreenShot/other.htm", "<html><body>not shown</body></html>");
    const Response answer = shot.Request(L"/ScreenShot/other.htm");
    EXPECT_TRUE(shot.handled);
    EXPECT_TRUE(DecodePng(answer.body));
}

TEST(Screenshot, TheDefaultDocumentIsThePageNotAPicture) {
    ScreenshotSite shot;
    const Response answer = shot.Request(L"/ScreenShot/index.htm", {{L"width", L"100"}, {L"height", L"100"}});
    EXPECT_TRUE(shot.handled);
    EXPECT_EQ(answer.Header("Content-Type"), "text/html");
    EXPECT_NE(answer.body.find("Screen pages"), std::string::npos);
    EXPECT_EQ(shot.screen.captures, 0);
}

TEST(Screenshot, WithoutAPictureThePlaceholderFileIsSent) {
    ScreenshotSite shot;
    shot.screen.picture.reset();
    const Response answer = shot.Request(L"/ScreenShot/screenshot.png");
    EXPECT_TRUE(shot.handled);
    EXPECT_EQ(shot.screen.captures, 1);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(answer.Header("Content-Length"), "11");
    EXPECT_EQ(answer.body, "placeholder");
}

TEST(Screenshot, OnlyPathsUnderScreenShotWithThatCaseAreOffered) {
    ScreenshotSite shot;
    shot.root.Write("screenshot/screenshot.png", "placeholder");
    shot.Request(L"/screenshot/screenshot.png");
    EXPECT_FALSE(shot.handled);
    EXPECT_EQ(shot.screen.captures, 0);
}

}  // namespace
}  // namespace tarnhollow::test
