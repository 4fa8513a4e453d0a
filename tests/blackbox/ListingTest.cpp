// Folder listings through the real binary: the whole name, size and date of each entry,
// sort orders, the folder's heading with its breadcrumbs, picture thumbnails and their
// cache, and the favicon.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "pages/PictureDecoder.h"
#include "pages/PngEncoder.h"
#include "platform/Resources.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// A picture of `width` by `height` with a diagonal gradient, so it is not all one colour.
RgbImage Gradient(int width, int height) {
    RgbImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.pixels.insert(image.pixels.end(), {static_cast<unsigned char>(x * 255 / width),
                                                     static_cast<unsigned char>(y * 255 / height), 128});
        }
    }
    return image;
}

void SetLastWrite(const std::string& path, std::time_t time) {
    const timespec both[2] = {{time, 0}, {time, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), both, 0), 0) << path;
}

// The text of every name column of a listing, in page order, separated by blanks.
std::string Names(const std::string& body) {
    std::string names;
    const std::string open = "<li><a href=";
    for (size_t at = body.find(open); at != std::string::npos; at = body.find(open, at)) {
        at = body.find("<span>", at + open.size()) + 6;
        names += (names.empty() ? "" : " ") + body.substr(at, body.find("</span>", at) - at);
    }
    return names;
}

size_t CacheFiles(const std::string& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        // A stored demo version beyond any program's keeps the demo site out of the root.
        const std::string settings = scratch_.Write("settings.toml", "CreateDemo = 4294967295\n");
        server_ = std::make_unique<ServerProcess>(ServerProcess::Options{
            .root = root_.Path(), .settings = settings, .environment = {"XDG_CACHE_HOME=" + cache_.Path()}});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
    }

    Response Fetch(const std::string& path) { return Get(server_->Port(), path); }
    std::string ThumbnailFolder() const { return cache_.Path() + "/tarnhollow/thumbnails"; }

    TempDir root_;
    TempDir scratch_;
    TempDir cache_;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(Listing, ShowsEachEntryWholeAndNamesItsFolderWithLinksToEachFolderAbove) {
    SetLastWrite(root_.Write("docs/notes.txt", std::string(1288490, 'x')), 1765202580);
    root_.Write("docs/inner/x", "");
    root_.Write("one/two words/three/four/file.txt", "");
    std::tm local{};
    const std::time_t when = 1765202580;
    ::localtime_r(&when, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    struct Row { const char* description; const char* path; std::string text; };
    const Row rows[] = {
        {"an entry's whole name, size and date", "/docs/",
         "<li><a href=\"/docs/notes.txt\"><img src=\"/file.gif\" alt=\"\" loading=\"lazy\">"
         "<span>notes.txt</span><small>1.2 MB</small><time>" + std::string(date) + "</time></a></li>"},
        {"a deep folder's title", "/one/two%20words/three/four/", "<title>/one/two words/three/four/ - Tarnhollow</title>"},
        {"a deep folder's links", "/one/two%20words/three/four/",
         "<h1 class=\"breadcrumbs\"><a href=\"/\">/</a><a href=\"/one/\">one/</a><a href=\"/one/two%20words/\">two "
         "words/</a><a href=\"/one/two%20words/three/\">three/</a>four/</h1>"},
        {"the root's title", "/", "<title>/ - Tarnhollow</title>"},
        {"the root's heading", "/", "<h1 class=\"breadcrumbs\">/</h1>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        const Response listing = Fetch(row.path);
        EXPECT_EQ(listing.statusLine, "HTTP/1.0 200 OK");
        EXPECT_NE(listing.body.find(row.text), std::string::npos) << listing.body;
    }
    // Without the dot entry.
    EXPECT_EQ(Names(Fetch("/docs/").body), ".. inner notes.txt");
}

TEST_F(Listing, SortsByTheAskedKeyAndFallsBackToNameAscending) {
    const std::pair<const char*, std::pair<size_t, std::time_t>> files[] = {
        {"b.txt", {5, 100}}, {"a.txt", {3, 300}}, {"c.txt", {3, 200}}, {"d.txt", {1, 400}}};
    for (const auto& [name, sizeAndTime] : files) {
        SetLastWrite(root_.Write(std::string("s/") + name, std::string(sizeAndTime.first, 'x')), sizeAndTime.second);
    }
    root_.Write("s/z/x", "");
    struct Row { const char* query; const char* names; };
    const Row rows[] = {
        {"", ".. z a.txt b.txt c.txt d.txt"},
        {"?sort=name&order=desc", ".. z d.txt c.txt b.txt a.txt"},
        {"?sort=size", ".. z d.txt a.txt c.txt b.txt"},
        {"?sort=size&order=desc", ".. z b.txt a.txt c.txt d.txt"},
        {"?sort=date", ".. z b.txt c.txt a.txt d.txt"},
        {"?sort=date&order=desc", ".. z d.txt a.txt c.txt b.txt"},
        {"?sort=bogus&order=sideways", ".. z a.txt b.txt c.txt d.txt"},
        {"?sort=%3Cscript%3E", ".. z a.txt b.txt c.txt d.txt"},
        {"?sort=", ".. z a.txt b.txt c.txt d.txt"},
    };
    for (const Row& row : rows) {
        const Response listing = Fetch(std::string("/s/") + row.query);
        EXPECT_EQ(listing.statusLine, "HTTP/1.0 200 OK") << row.query;
        EXPECT_EQ(Names(listing.body), row.names) << row.query;
        EXPECT_EQ(listing.body.find("<script>"), std::string::npos) << row.query;
    }
}

TEST_F(Listing, PicturesGetThumbnailsAndBrokenOnesTheFileIcon) {
    const std::string jpeg = *EncodeJpeg(Gradient(400, 300), 90);
    root_.Write("p/photo.jpg", jpeg);
    root_.Write("p/drawing.PNG", *EncodePng(Gradient(300, 200)));
    root_.Write("p/tiny.png", *EncodePng(Gradient(20, 10)));
    root_.Write("p/cut.jpg", jpeg.substr(0, 40));
    root_.Write("p/text.png", "not a picture at all");
    root_.Write("p/empty.jpeg", "");
    const Response listing = Fetch("/p/");
    EXPECT_NE(listing.body.find("<img src=\"/p/photo.jpg?thumb\""), std::string::npos) << listing.body;
    EXPECT_NE(listing.body.find("<img src=\"/p/drawing.PNG?thumb\""), std::string::npos) << listing.body;

    const std::string fileIcon(*FindResource("CONTENT", "/file.gif"));
    struct Row { const char* path; int width, height; };  // 0: the file icon; 300 by 200 shrinks to 96 by 63, truncated
    const Row rows[] = {
        {"/p/photo.jpg?thumb", 96, 72}, {"/p/drawing.PNG?thumb", 96, 63}, {"/p/tiny.png?thumb", 20, 10},
        {"/p/cut.jpg?thumb", 0, 0},     {"/p/text.png?thumb", 0, 0},      {"/p/empty.jpeg?thumb", 0, 0},
    };
    for (const Row& row : rows) {
        const Response thumbnail = Fetch(row.path);
        EXPECT_EQ(thumbnail.statusLine, "HTTP/1.0 200 OK") << row.path;
        EXPECT_EQ(thumbnail.Header("Content-Length"), std::to_string(thumbnail.body.size())) << row.path;
        if (row.width == 0) {
            EXPECT_EQ(thumbnail.Header("Content-Type"), "image/gif") << row.path;
            EXPECT_EQ(thumbnail.body, fileIcon) << row.path;
            continue;
        }
        EXPECT_EQ(thumbnail.Header("Content-Type"), "image/jpeg") << row.path;
        auto decoded = DecodePicture(thumbnail.body, INT_MAX, INT_MAX);
        ASSERT_TRUE(decoded) << row.path;
        EXPECT_EQ(decoded->width, row.width) << row.path;
        EXPECT_EQ(decoded->height, row.height) << row.path;
    }
    // The picture itself is unchanged without the parameter.
    EXPECT_EQ(Fetch("/p/photo.jpg").body, jpeg);
}

TEST_F(Listing, TheThumbnailCacheIsReusedAndRefreshedWhenThePictureChanges) {
    const std::string picture = root_.Write("photo.jpg", *EncodeJpeg(Gradient(400, 300), 90));
    SetLastWrite(picture, 1700000000);
    const Response first = Fetch("/photo.jpg?thumb");
    ASSERT_EQ(first.Header("Content-Type"), "image/jpeg");
    ASSERT_EQ(CacheFiles(ThumbnailFolder()), 1u);
    // What the cache holds is sent as it is: a marked copy comes back.
    const std::string cached = std::filesystem::directory_iterator(ThumbnailFolder())->path();
    const std::string marked = first.body + "cached";
    std::ofstream(cached, std::ios::binary | std::ios::trunc) << marked;
    EXPECT_EQ(Fetch("/photo.jpg?thumb").body, marked);

    root_.Write("photo.jpg", *EncodeJpeg(Gradient(200, 300), 90));
    SetLastWrite(picture, 1700000100);
    const Response changed = Fetch("/photo.jpg?thumb");
    auto decoded = DecodePicture(changed.body, INT_MAX, INT_MAX);
    ASSERT_TRUE(decoded);
    // Now a portrait picture: a new thumbnail, not the cached one.
    EXPECT_EQ(decoded->height, 96);
    EXPECT_LT(decoded->width, 96);
    EXPECT_EQ(CacheFiles(ThumbnailFolder()), 2u);
}

TEST_F(Listing, TheFaviconIsBuiltInUntilTheRootHoldsOne) {
    const Response builtIn = Fetch("/favicon.ico");
    EXPECT_EQ(builtIn.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(builtIn.Header("Content-Type"), "image/x-icon");
    EXPECT_EQ(builtIn.body, std::string(*FindResource("CONTENT", "/favicon.ico")));
    root_.Write("favicon.ico", "mine");
    EXPECT_EQ(Fetch("/favicon.ico").body, "mine");
}

}  // namespace
}  // namespace tarnhollow::test
