// The demo site's files carry what the services serving them look for: the blog
// template's elements and form, the GPS markers, the remote-control key names, line
// ends that make paragraphs, and pictures that are what their names say.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "pages/DemoInstaller.h"
#include "pages/PageBuilder.h"
#include "platform/Resources.h"

namespace tarnhollow::test {
namespace {

std::string Demo(std::string_view name) {
    auto bytes = FindResource("BINDAT", name);
    return bytes ? std::string(*bytes) : std::string();
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

size_t Count(std::string_view text, std::string_view what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST(DemoContent, TextFilesEndTheirLinesWithCrLfSoBlankLinesBecomeParagraphs) {
    for (std::string_view name : kDemoFiles) {
        if (!EndsWith(name, ".txt")) continue;
        const std::string text = Demo(name);
        ASSERT_FALSE(text.empty()) << name;
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
            EXPECT_TRUE(at > 0 && text[at - 1] == '\r') << name << ": bare line feed at " << at;
        }
        EXPECT_TRUE(EndsWith(text, "\r\n")) << name << ": an appended post would join the last line";
    }
    for (std::string_view blog : {"Blog\\MyFirstBlog.txt", "Blog\\AboutSomething.txt"}) {
        EXPECT_EQ(Count(Demo(blog), "\r\n"), 1u) << blog << " holds one post";
    }
}

TEST(DemoContent, EveryPageIsAUtf8PageWhoseBodyTheBuilderFinds) {
    for (std::string_view name : kDemoFiles) {
        if (!EndsWith(name, ".html") && name != "Blog\\.blog") continue;
        const std::string page = Demo(name);
        SCOPED_TRACE(std::string(name));
        EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(page.find("<meta name=\"viewport\""), std::string::npos);
        EXPECT_NE(page.find("<link rel=\"stylesheet\" href=\"/styles.css\">"), std::string::npos);
        const std::string body = Section(page, "<body>", true);
        EXPECT_TRUE(body.starts_with("<body>") && EndsWith(body, "</body>")) << "no body element";
        EXPECT_NE(body.find("<h1>"), std::string::npos) << "no heading in the body";
    }
}

TEST(DemoContent, TheBlogTemplateRepeatsAPostAndPostsCommentsToItsOwnUrl) {
    const std::string blog = Demo("Blog\\.blog");
    const std::string body = Section(blog, "<body>", true);
    const std::string item = Section(body, "<blogitem>", false);
    ASSERT_NE(item, body) << "no blogitem element";
    EXPECT_NE(Section(item, "<comment>", true), item) << "no comment element inside the item";
    const std::string form = body.substr(body.find("<form"), body.find("</form>") - body.find("<form"));
    EXPECT_NE(form.find("method=\"get\""), std::string::npos);
    EXPECT_EQ(form.find("action="), std::string::npos) << "a form without action posts to the page's own URL";
    EXPECT_NE(form.find("<textarea id=\"comment\" name=\"comment\""), std::string::npos);
    EXPECT_EQ(item.find("<form"), std::string::npos) << "the form must not repeat with every post";
}

TEST(DemoContent, GpsPagesHoldTheMarkersTheirServiceFillsIn) {
    struct Row {
        const char* page;
        const char* markers[4];
        bool mapsKey;
    };
    const Row rows[] = {
        {"FindMe\\index.html", {"<gpshardware>", "<gpstime>", "<longitude>", "<latitude>"}, false},
        {"FindMe\\GoogleMap.html", {"<gpstime>", "<longitude>", "<latitude>"}, true},
        {"FindMe\\VirtualEarth.html", {"<gpstime>", "<longitude>", "<latitude>"}, false},
        {"NearMe\\index.html", {"<gpshardware>", "<gpstime>", "<longitude>", "<latitude>"}, false},
        {"NearMe\\GoogleMap.html", {"<longitude>", "<latitude>"}, true},
        {"NearMe\\VirtualEarth.html", {"<gpstime>", "<longitude>", "<latitude>"}, false},
        {"TraceMe\\index.html", {"<gpsitem>", "<gpstime>", "<longitude>", "<latitude>"}, false},
        {"TraceMe\\GoogleMap.html", {"<gpsitem>", "<gpstime>", "<longitude>", "<latitude>"}, true},
        {"TraceMe\\VirtualEarth.html", {"<gpsitem>", "<gpstime>", "<longitude>", "<latitude>"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.page);
        const std::string page = Demo(row.page);
        for (const char* marker : row.markers) {
            if (!marker) continue;
            EXPECT_NE(Section(page, marker, true), page) << "no " << marker << " element";
        }
        // A page with this element is replaced by the key form while no key is stored.
        EXPECT_EQ(page.find("<maps_api_key></maps_api_key>") != std::string::npos, row.mapsKey);
        if (std::string_view(row.page).starts_with("TraceMe")) {
            // Outside the item element the track has no values and the markers would stay.
            const std::string outside = page.substr(0, page.find("<gpsitem>")) + page.substr(page.find("</gpsitem>"));
            EXPECT_EQ(outside.find("<gpstime>"), std::string::npos);
            EXPECT_EQ(page.find("<gpshardware>"), std::string::npos);
        }
        if (std::string_view(row.page).starts_with("NearMe")) {
            EXPECT_EQ(Count(page, "var nearMeHost = \""), 1u) << "the endpoint's host is set in one place";
            EXPECT_NE(page.find("/nearme/request.php?time=3600&max=20&prec=1&lon=\" + lon + \"&lat=\" + lat"),
                      std::string::npos);
        }
    }
    EXPECT_NE(Demo("FindMe\\index.html")
                  .find("<gpshardware>GPS device is not connected, switched off or satellite data "
                        "unavailable</gpshardware>"),
              std::string::npos);
}

TEST(DemoContent, TheKeypadsPressEveryKeyOfTheKeyTableAndShowTheScreen) {
    const std::set<std::string> keyTable = {"Key1", "Key2",   "Home", "Back", "Talk", "End",  "#",    "*",
                                            "Vol+", "Vol-",   "Action", "Up", "Down", "Left", "Right", "App1",
                                            "App2", "App3",   "App4", "1",    "2",    "3",    "4",    "5",
                                            "6",    "7",      "8",    "9",    "0"};
    ASSERT_EQ(keyTable.size(), 29u);
    std::set<std::string> pressed;
    for (std::string_view name : {"RemoteControl\\PocketPC.html", "RemoteControl\\SmartPhone.html"}) {
        SCOPED_TRACE(std::string(name));
        const std::string page = Demo(name);
        EXPECT_NE(page.find("<img src=\"/ScreenShot/screenshot.png?width=100&amp;height=100\""), std::string::npos);
        const std::string button = "<button ";
        for (size_t at = page.find(button); at != std::string::npos; at = page.find(button, at + 1)) {
            const size_t value = page.find("name=\"value\" value=\"", at) + 20;
            const std::string key = page.substr(value, page.find('"', value) - value);
            // The button's label is its key name.
            EXPECT_EQ(page.substr(page.find('>', value) + 1, key.size() + 9), key + "</button>");
            EXPECT_TRUE(keyTable.count(key)) << key << " is not a key of the key table";
            pressed.insert(key);
        }
    }
    EXPECT_EQ(pressed, keyTable);
}

TEST(DemoContent, PicturesAreSmallJpegsAndThePlaceholderIsAPng) {
    for (std::string_view name : kDemoFiles) {
        const std::string bytes = Demo(name);
        if (EndsWith(name, ".jpg")) {
            EXPECT_TRUE(bytes.starts_with("\xFF\xD8\xFF")) << name;
            EXPECT_LT(bytes.size(), 48u * 1024) << name;
        }
    }
    EXPECT_TRUE(Demo("ScreenShot\\screenshot.png").starts_with("\x89PNG\r\n\x1A\n"));
    EXPECT_TRUE(Demo("demo\\.pict\\blue-ball-small.gif").starts_with("GIF8"));
}

}  // namespace
}  // namespace tarnhollow::test
