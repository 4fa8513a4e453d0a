// From URL to file: canonical paths, the mapping's redirects and refusals, and the
// hidden and containment rules, for names asked for and for where links lead.
#include "http/UrlMapping.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "http/FileAnswer.h"
#include "http/ServerContext.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

TEST(UrlMapping, CanonicalPaths) {
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

TEST(UrlMapping, MappingAnswersRedirectsAndRefusals) {
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

TEST(UrlMapping, SiblingFolderStartingWithTheRootNameIsOutside) {
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

TEST(UrlMapping, HiddenPathsGetTheHiddenPage) {
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

}  // namespace
}  // namespace tarnhollow::test
