// From URL to file: canonical paths, the mapping's redirects and refusals, percent
// encoding, If-Modified-Since dates, and what the response writers produce.
#include "http/StaticFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "http/MimeTypes.h"
#include "http/PercentEncoding.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

TEST(StaticFiles, CanonicalPaths) {
    struct Row {
        std::wstring in, out;
    };
    const Row rows[] = {
        {L"/r/a/../b.txt", L"/r/b.txt"}, {L"/r/a/../../x", L"/x"},   {L"/r//a///b", L"/r/a/b"},
        {L"/r/a/", L"/r/a/"},            {L"/r/./a/.", L"/r/a"},     {L"/../../x", L"/x"},
        {L"/r\\a\\..\\b", L"/r/b"},      {L"r/a", L"r/a"},           {L"/", L"/"},
        {L"", L""},                      {L"/r/..", L"/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToAnsi(row.in));
        EXPECT_EQ(CanonicalPath(row.in), row.out);
    }
}

// A request mapped against a temporary document root, answered into memory.
struct Mapped {
    explicit Mapped(const TempDir& root, const std::wstring& url) {
        context.documentRoot = AnsiToWide(root.Path());
        request.server = &context;
        request.response = &sink;
        request.urlPath = url;
        MapUrl(request);
        response = ParseResponse(std::string(sink.buffer.PendingBytes()));
    }
    ServerContext context;
    ResponseSink sink;
    CRequest request;
    Response response;
};

TEST(StaticFiles, MappingAnswersRedirectsAndRefusals) {
    TempDir parent;
    TempDir& root = parent;
    root.Write("b.txt", "b");
    root.Write("notes.txt", "n");
    root.Write("photos/index.htm", "i");
    root.Write("progs/default.bat", "d");
    root.Write("Mixed/INDEX.HTML", "m");
    root.Write("my photos/x.jpg", "x");
    root.Write("sub/.hidden/f.txt", "h");
    root.Write("empty/.keep", "");
    root.Write("C# notes/a.txt", "c");
    root.Write("100%41/a.txt", "p");
    struct Row {
        const char* description;
        std::wstring url;
        std::string status;
        std::string location;
        std::wstring filePath;  // relative to the root when no answer
    };
    const Row rows[] = {
        {"climbing out is refused", L"/a/../../x", "HTTP/1.0 400 Bad Request", "", L""},
        {"climbing back in", L"/a/../b.txt", "", "", L"/b.txt"},
        {"missing file", L"/missing.txt", "HTTP/1.0 404 Not Found", "", L""},
        {"missing below a folder", L"/photos/missing/x", "HTTP/1.0 404 Not Found", "", L""},
        {"extra path after a file", L"/notes.txt/extra", "", "", L"/notes.txt"},
        {"folder without slash", L"/photos", "HTTP/1.0 301 Moved Permanently", "/photos/", L""},
        {"folder with default document", L"/photos/", "HTTP/1.0 302 Redirection", "/photos/index.htm", L""},
        {"default program gets a question mark", L"/progs/", "HTTP/1.0 302 Redirection", "/progs/default.bat?", L""},
        {"default document found ignoring case", L"/Mixed/", "HTTP/1.0 302 Redirection", "/Mixed/INDEX.HTML", L""},
        {"space in the redirect", L"/my photos", "HTTP/1.0 301 Moved Permanently", "/my%20photos/", L""},
        {"folder to be listed", L"/empty/", "", "", L"/empty"},
        {"root", L"/", "", "", L""},
        {"nul in the path", std::wstring(L"/b.txt\0.jpg", 11), "HTTP/1.0 400 Bad Request", "", L""},
        {"a hash in a folder name", L"/C# notes", "HTTP/1.0 301 Moved Permanently", "/C%23%20notes/", L""},
        {"a percent sign in a folder name", L"/100%41", "HTTP/1.0 301 Moved Permanently", "/100%2541/", L""},
        {"thousands of dot components", L"/notes.txt/" + [] {
             std::wstring dots;
             for (int i = 0; i < 30000; ++i) dots += L"./";
             return dots;
         }() + L"x", "", "", L"/notes.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        Mapped m(root, row.url);
        EXPECT_EQ(m.response.statusLine, row.status);
        EXPECT_EQ(m.response.Header("Location"), row.location);
        if (row.status.empty()) {
            EXPECT_EQ(m.request.filePath, AnsiToWide(root.Path()) + row.filePath);
        }
    }
}

TEST(StaticFiles, SiblingFolderStartingWithTheRootNameIsOutside) {
    TempDir parent;
    parent.Write("root/a.txt", "a");
    parent.Write("rootsibling/secret.txt", "s");
    ServerContext context;
    context.documentRoot = AnsiToWide(parent.Path() + "/root");
    ResponseSink sink;
    CRequest request;
    request.server = &context;
    request.response = &sink;
    request.urlPath = L"/../rootsibling/secret.txt";
    MapUrl(request);
    EXPECT_EQ(ParseResponse(std::string(sink.buffer.PendingBytes())).statusLine, "HTTP/1.0 400 Bad Request");
}

TEST(StaticFiles, HiddenPathsGetTheHiddenPage) {
    TempDir root, outside;
    root.Write("sub/.hidden/f.txt", "h");
    root.Write("sub/.hidden/index.html", "i");
    outside.Write("secret.txt", "s");
    ::symlink((root.Path() + "/sub/.hidden/f.txt").c_str(), (root.Path() + "/visible.txt").c_str());
    ::symlink((outside.Path() + "/secret.txt").c_str(), (root.Path() + "/out.txt").c_str());
    ::symlink(outside.Path().c_str(), (root.Path() + "/outdir").c_str());
    for (const wchar_t* url : {L"/sub/.hidden/f.txt", L"/sub/.hidden/", L"/sub/.hidden", L"/visible.txt", L"/out.txt",
                               L"/outdir/secret.txt", L"/outdir/"}) {
        SCOPED_TRACE(WideToAnsi(url));
        Mapped m(root, url);
        ASSERT_EQ(m.request.status, 0u) << "no redirect tells what a hidden folder holds";
        EXPECT_TRUE(m.request.attributes & kAttributeHidden);
        EXPECT_FALSE(PrepareFile(m.request));
        const Response r = ParseResponse(std::string(m.sink.buffer.PendingBytes()));
        EXPECT_EQ(r.statusLine, "HTTP/1.0 200 OK");
        EXPECT_EQ(r.body, "<h1> Cannot Show Hidden Files and Root Directories</h1>");
    }
}

TEST(StaticFiles, PercentEncoding) {
    EXPECT_EQ(PercentEncode(L"/a b/c%d?\u00e9\t"), L"/a%20b/c%d?%C3%A9%09");
    EXPECT_EQ(PercentEncode(std::wstring(L"\x01\x7f", 2)), std::wstring(L"%01\x7f", 4));
    EXPECT_EQ(PercentEncode(L"/a b/c%d?#\"'<>&\\\x7f", PercentSet::Link), L"/a%20b/c%25d%3F%23%22%27%3C%3E%26%5C%7F");
}

TEST(StaticFiles, IfModifiedSinceLayouts) {
    struct Row {
        const char* description;
        std::wstring text;
        std::optional<std::time_t> expected;
    };
    const std::time_t nov6 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    const Row rows[] = {
        {"RFC 1123", L"Sun, 06 Nov 1994 08:49:37 GMT", nov6},
        {"RFC 850", L"Sunday, 06-Nov-94 08:49:37 GMT", nov6},
        {"asctime", L"Sun Nov  6 08:49:37 1994", nov6},
        {"month in lower case", L"Sun, 06 nov 1994 08:49:37 GMT", nov6},
        {"two-digit year 50 is 2050", L"Sunday, 06-Nov-50 08:49:37 GMT", 2551337377},
        {"two-digit year 51 is 1951", L"Tuesday, 06-Nov-51 08:49:37 GMT", -572886623},
        {"RFC 850 without comma-space", L"Sunday 06-Nov-94 08:49:37 GMT", std::nullopt},
        {"unknown month", L"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
        {"day 31 in February", L"Sun, 31 Feb 1994 08:49:37 GMT", std::nullopt},
        {"hour 25", L"Sun, 06 Nov 1994 25:49:37 GMT", std::nullopt},
        {"truncated", L"Sun, 06 Nov", std::nullopt},
        {"empty-ish", L"Sun", std::nullopt},
        {"year 0", L"Sun, 06 Nov 0000 08:49:37 GMT", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(ParseHttpDate(row.text), row.expected);
    }
}

TEST(ResponseWriter, DatesAndNumbersAndErrors) {
    EXPECT_EQ(FormatHttpDate(1803891903), L"Mon, 01 Mar 2027 09:05:03 GMT");
    EXPECT_EQ(FormatHttpDate(1803891903, 86400), L"Tue, 02 Mar 2027 09:05:03 GMT");

    ResponseSink sink;
    CRequest request;
    request.response = &sink;
    WriteHeaderNumber(request, L"A", 0);
    WriteHeaderNumber(request, L"B", -12);
    EXPECT_EQ(sink.buffer.PendingBytes(), "A: 0\r\nB: -12\r\n");

    ResponseSink errorSink;
    CRequest failing;
    failing.response = &errorSink;
    WriteError(failing, kStatusNotFound);
    EXPECT_EQ(failing.status, kStatusNotFound);
    const std::string raw(errorSink.buffer.PendingBytes());
    const Response r = ParseResponse(raw);
    EXPECT_EQ(r.statusLine, "HTTP/1.0 404 Not Found");
    ASSERT_EQ(r.headers.size(), 2u);
    EXPECT_EQ(r.headers[0].first, "Server");
    EXPECT_EQ(r.headers[0].second, "Tarnhollow/1.0");
    EXPECT_EQ(r.headers[1].first, "Date");
    EXPECT_EQ(r.body, "404 Not Found");
}

TEST(MimeTypes, SourcesInOrder) {
    TempDir dir;
    const std::string system = dir.Write("mime.types", "# comment\nimage/jpeg jpeg jpg\ntext/x-thing thing\n");
    struct Row {
        const char* description;
        bool withSystemList;
        std::wstring path;
        std::optional<std::wstring> type;
    };
    const Row rows[] = {
        {"built-in table without a system list", false, L"/r/photo.JPG", L"image/jpg"},
        {"system list first", true, L"/r/photo.JPG", L"image/jpeg"},
        {"text files are html", true, L"/r/readme.txt", L"text/html"},
        {"text rule ignores case", false, L"/r/PAGE.HTM", L"text/html"},
        {"no extension", false, L"/r/Makefile", std::nullopt},
        {"dot only in the folder", false, L"/r/v1.2/README", std::nullopt},
        {"the stored .ez, matches nothing", false, L"/r/archive.ez", std::nullopt},
        {"the system list may know .ez", true, L"/r/thing.thing", L"text/x-thing"},
        {"jpeg row", false, L"/r/a.jpeg", L"image/jpeg"},
        {"gif", false, L"/r/a.gif", L"image/gif"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        SetSystemMimeTypesFile(row.withSystemList ? system : dir.Path() + "/none");
        EXPECT_EQ(ContentTypeFor(row.path), row.type);
    }
    SetSystemMimeTypesFile("/etc/mime.types");
}

}  // namespace
}  // namespace tarnhollow::test
