// The blog through the real binary: posts, the 302 back, the sound, blogs shown one
// post per line, a read-only blog, and a comment with markup shown as text by Chromium.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "support/Chromium.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

constexpr char kTemplate[] =
    "<html><body><h1>Test blog</h1><ol id=\"posts\"><blogitem><li class=\"post\"><comment></comment></li>"
    "</blogitem></ol></body></html>";

// The posts of a shown blog, in page order.
std::vector<std::string> Posts(const std::string& page) {
    std::vector<std::string> posts;
    const std::regex item("<li class=\"post\">([\\s\\S]*?)</li>");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), item); it != std::sregex_iterator(); ++it) {
        posts.push_back((*it)[1]);
    }
    return posts;
}

std::string MaskDate(const std::string& raw) {
    return std::regex_replace(raw, std::regex("Date: [^\r]*\r\n"), "Date: <date>\r\n");
}

class BlogServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir();
        scratch_ = new TempDir();
        sound_ = scratch_->Write("ding.wav", "RIFF");
        // A player on PATH that writes the file it was asked to play to a log.
        const std::string player = scratch_->Write(
            "bin/paplay", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + scratch_->Path() + "/played\"\n");
        ::chmod(player.c_str(), 0755);
        const std::string settings = scratch_->Write("settings.toml", "BlogSound = \"" + sound_ + "\"\n");
        const char* path = std::getenv("PATH");
        server_ = new ServerProcess({.root = root_->Path(),
                                     .settings = settings,
                                     .environment = {"PATH=" + scratch_->Path() + "/bin:" + (path ? path : "/usr/bin:/bin"),
                                                     "DISPLAY="}});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
        // Written after the start, so that the demo site installed then cannot touch them.
        root_->Write("Blog/Test/.blog", kTemplate);
        root_->Write("Blog/Test/index.htm", "<html><body>The test blogs</body></html>");
    }
    static void TearDownTestSuite() {
        delete server_;
        delete scratch_;
        delete root_;
    }
    static Response Fetch(const std::string& path) { return Get(server_->Port(), path); }

    // Waits (up to 10 seconds) until the fake player has been run `count` times.
    static std::string WaitForPlays(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string played;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::access((scratch_->Path() + "/played").c_str(), F_OK) == 0) played = scratch_->Read("played");
            if (static_cast<size_t>(std::count(played.begin(), played.end(), '\n')) >= count) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return played;
    }

    static TempDir* root_;
    static TempDir* scratch_;
    static std::string sound_;
    static ServerProcess* server_;
};
TempDir* BlogServer::root_ = nullptr;
TempDir* BlogServer::scratch_ = nullptr;
std::string BlogServer::sound_;
ServerProcess* BlogServer::server_ = nullptr;

TEST_F(BlogServer, ACommentOnTheDemoBlogIsAppendedAnnouncedAndShownLast) {
    const std::string before = root_->Read("Blog/MyFirstBlog.txt");
    const std::string raw = RawExchange(server_->Port(), "GET /Blog/MyFirstBlog.txt?comment=Hello+from+a+visitor HTTP/1.0\r\n\r\n");
    EXPECT_EQ(MaskDate(raw),
              "HTTP/1.0 302 Redirection\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\n"
              "Location: /Blog/MyFirstBlog.txt\r\n\r\n");
    ASSERT_FALSE(before.empty());
    const bool endsWithBreak = before.back() == '\n' || before.back() == '\r';
    EXPECT_EQ(root_->Read("Blog/MyFirstBlog.txt"), before + (endsWithBreak ? "" : "\r\n") + "Hello from a visitor\r\n");
    EXPECT_EQ(WaitForPlays(1), sound_ + "\n");

    const Response shown = Fetch("/Blog/MyFirstBlog.txt");
    EXPECT_EQ(shown.statusLine, "HTTP/1.0 200 OK");
    const size_t last = shown.body.rfind("Hello from a visitor");
    ASSERT_NE(last, std::string::npos);
    size_t start = 0;
    while (start < before.size()) {
        size_t end = before.find_first_of("\r\n", start);
        if (end == std::string::npos) end = before.size();
        const std::string post = before.substr(start, end - start);
        if (!post.empty()) {
            EXPECT_LT(shown.body.find(post), last) << "the new post comes after " << post;
        }
        start = end + 1;
    }
}

TEST_F(BlogServer, ATwoLineCommentIsOneLineShownWithALineBreak) {
    root_->Write("Blog/Test/two.txt", "first\r\n");
    const Response posted = Fetch("/Blog/Test/two.txt?comment=line%20one%0D%0Aline%20two");
    EXPECT_EQ(posted.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(posted.Header("Location"), "/Blog/Test/two.txt");
    EXPECT_EQ(root_->Read("Blog/Test/two.txt"), "first\r\nline one<br>line two\r\n");
    EXPECT_EQ(Posts(Fetch("/Blog/Test/two.txt").body), (std::vector<std::string>{"first", "line one<br>line two"}));
}

TEST_F(BlogServer, EmptyLinesAreNoPostsAndALastLineWithoutABreakIsOne) {
    root_->Write("Blog/Test/gaps.txt", "one\r\n\r\n\r\ntwo\r\n\r\nthree");
    EXPECT_EQ(Posts(Fetch("/Blog/Test/gaps.txt").body), (std::vector<std::string>{"one", "two", "three"}));
    // A post appended to it does not stick to the last line.
    Fetch("/Blog/Test/gaps.txt?comment=four");
    EXPECT_EQ(Posts(Fetch("/Blog/Test/gaps.txt").body), (std::vector<std::string>{"one", "two", "three", "four"}));
}

TEST_F(BlogServer, TheLocationIsTheBlogsUrlPathEncoded) {
    root_->Write("Blog/Test/my diary.txt", "");
    const Response posted = Fetch("/Blog/Test/my%20diary.txt?comment=x&other=y");
    EXPECT_EQ(posted.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(posted.Header("Location"), "/Blog/Test/my%20diary.txt");
    EXPECT_EQ(posted.body, "");
}

TEST_F(BlogServer, ACommentOnTheIndexPageIsIgnoredAndThePageShown) {
    const Response shown = Fetch("/Blog/Test/index.htm?comment=ignored");
    EXPECT_EQ(shown.statusLine, "HTTP/1.0 200 OK");
    EXPECT_NE(shown.body.find("The test blogs"), std::string::npos);
    EXPECT_EQ(root_->Read("Blog/Test/index.htm"), "<html><body>The test blogs</body></html>");
}

TEST_F(BlogServer, AReadOnlyBlogStillRedirectsAndRecordsNothing) {
    const std::string path = root_->Write("Blog/Test/closed.txt", "closed\r\n");
    ::chmod(path.c_str(), 0444);
    const Response posted = Fetch("/Blog/Test/closed.txt?comment=let+me+in");
    EXPECT_EQ(posted.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(posted.Header("Location"), "/Blog/Test/closed.txt");
    EXPECT_EQ(root_->Read("Blog/Test/closed.txt"), "closed\r\n");
}

TEST_F(BlogServer, ACommentWithMarkupIsStoredEscapedAndShownAsTextInABrowser) {
    root_->Write("Blog/Test/markup.txt", "<b>owner's bold</b>\r\n");
    const Response posted = Fetch(
        "/Blog/Test/markup.txt?comment=%3Cscript%3Edocument.title%3D%22planted%22%3C%2Fscript%3E%3Cb%3Ebold%3C%2Fb%3E"
        "+%26+%22quoted%22");
    EXPECT_EQ(posted.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(root_->Read("Blog/Test/markup.txt"),
              "<b>owner's bold</b>\r\n&lt;script&gt;document.title=&quot;planted&quot;&lt;/script&gt;&lt;b&gt;bold&lt;"
              "/b&gt; &amp; &quot;quoted&quot;\r\n");

    const BrowserRun run = RunChromium("http://127.0.0.1:" + std::to_string(server_->Port()) + "/Blog/Test/markup.txt", 1000);
    ASSERT_TRUE(run.finished) << "Chromium did not run (scripts/install-deps.sh test installs it)\n" << run.log;
    const std::string& dom = run.dom;
    const std::vector<std::string> posts = Posts(dom);
    ASSERT_EQ(posts.size(), 2u) << dom;
    EXPECT_EQ(posts[0], "<b>owner's bold</b>") << "the owner's markup is rendered";
    // The browser serialises text with "<", ">" and "&" escaped: the visitor's post is
    // one text node, no element, and its script never ran.
    EXPECT_EQ(posts[1], "&lt;script&gt;document.title=\"planted\"&lt;/script&gt;&lt;b&gt;bold&lt;/b&gt; &amp; \"quoted\"");
    EXPECT_EQ(dom.find("planted</title>"), std::string::npos);
    EXPECT_EQ(dom.find("<script>"), std::string::npos);
}

}  // namespace
}  // namespace tarnhollow::test
