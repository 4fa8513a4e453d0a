// The real binary with its window on an Xvfb display of the test's own: a port typed into
// the window and saved with Enter moves the server and is stored; a picture of the
// window is kept for the documentation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <toml++/toml.h>

#include "gps/FakeReceivers.h"
#include "pages/PngEncoder.h"
#include "support/TestSupport.h"
#include "support/Xvfb.h"

namespace tarnhollow::test {
namespace {

// What an xdotool command prints; `display` is the X display it drives.
std::string Xdotool(const std::string& display, const std::string& arguments) {
    const std::string command = "DISPLAY=" + display + " timeout 20 xdotool " + arguments + " 2>/dev/null";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The window's pixels as a PNG file.
bool SaveWindowPicture(const std::string& display, unsigned long window, const std::string& path) {
    ::Display* x = XOpenDisplay(display.c_str());
    if (!x) return false;
    XWindowAttributes attributes{};
    XGetWindowAttributes(x, window, &attributes);
    XImage* image = XGetImage(x, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    bool saved = false;
    if (image) {
        RgbImage rgb{attributes.width, attributes.height, {}};
        for (int y = 0; y < attributes.height; ++y) {
            for (int x0 = 0; x0 < attributes.width; ++x0) {
                const unsigned long pixel = XGetPixel(image, x0, y);
                rgb.pixels.insert(rgb.pixels.end(), {static_cast<unsigned char>(pixel >> 16),
                                                     static_cast<unsigned char>(pixel >> 8), static_cast<unsigned char>(pixel)});
            }
        }
        XDestroyImage(image);
        if (auto png = EncodePng(rgb)) {
            std::ofstream(path, std::ios::binary) << *png;
            saved = true;
        }
    }
    XCloseDisplay(x);
    return saved;
}

int64_t StoredPort(const std::string& settings) {
    try {
        return toml::parse_file(settings)["Port"].value<int64_t>().value_or(-1);
    } catch (const toml::parse_error&) {
        return -1;  // caught while the file is being replaced
    }
}

TEST(WindowTest, APortTypedIntoTheWindowAndSavedMovesTheServerAndIsStored) {
    XvfbServer xvfb(1280, 1024);
    ASSERT_TRUE(xvfb.Running()) << "Xvfb did not start (scripts/install-deps.sh test installs it)";
    TempDir root, scratch;
    const int first = FreePort();
    const std::string settings = scratch.Write("settings.toml", "Port = " + std::to_string(first) + "\n");
    ServerProcess server({.root = root.Path(),
                          .settings = settings,
                          .port = first,
                          .passPort = false,
                          .environment = {"DISPLAY=" + xvfb.Display(),
                                          // Under LeakSanitizer: what Qt keeps until exit is Qt's.
                                          "LSAN_OPTIONS=suppressions=" TARNHOLLOW_SOURCE_DIR
                                          "/tests/window/lsan-qt.supp"},
                          .headless = false});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();

    const std::string window = Xdotool(xvfb.Display(), "search --sync --onlyvisible --name '^Tarnhollow$'");
    ASSERT_FALSE(window.empty()) << "no window; stderr: " << server.Stderr();
    int second = FreePort();
    while (second == first) second = FreePort();
    // The Enable box has the focus first; Tab selects the Port field's text, the first
    // digit replaces it, and Enter is the default button, Save.
    for (const std::string& step : {"windowfocus --sync " + window, std::string("key Tab"),
                                    "type --delay 20 " + std::to_string(second), std::string("key Return")}) {
        Xdotool(xvfb.Display(), step);
    }

    EXPECT_TRUE(WaitUntil([&] { return StoredPort(settings) == second; }, 20)) << "stored: " << StoredPort(settings);
    EXPECT_TRUE(WaitUntil([&] { const int fd = Connect(second); return fd >= 0 && ::close(fd) == 0; }, 20));
    EXPECT_EQ(Get(second, "/").statusLine.substr(0, 9), "HTTP/1.0 ");
    EXPECT_EQ(Connect(first), -1);

    const char* picture = std::getenv("TARNHOLLOW_WINDOW_PICTURE");
    EXPECT_TRUE(SaveWindowPicture(xvfb.Display(), std::stoul(window), picture ? std::string(picture) : scratch.Path() + "/window.png"));
    EXPECT_EQ(server.Stop(), 0) << server.Stderr();
}

}  // namespace
}  // namespace tarnhollow::test
