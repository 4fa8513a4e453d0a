// The blog service in memory: comments stored escaped, bounded and on one line, posts
// split from files, appending, and the answers for posts, pages and refusals.
#include "pages/BlogService.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include "pages/PageBuilder.h"
#include "pages/PagesHarness.h"
#include "platform/TextConvert.h"

namespace tarnhollow::test {
namespace {

class RecordingSoundPlayer : public SoundPlayer {
public:
    bool Play(const std::string& path) override {
        played.push_back(path);
        return true;
    }
    std::vector<std::string> played;
};

constexpr char kTemplate[] = "<html><body><ul><blogitem><li class=\"post\"><comment></comment></li></blogitem></ul></body></html>";

TEST(Blog, CommentsAreStoredEscapedOnOneLine) {
    struct Row {
        const char* description;
        std::wstring comment;
        std::string stored;
    };
    const Row rows[] = {
        {"plain text", L"Hello there", "Hello there"},
        {"two lines joined by a line break", L"first\r\nsecond", "first<br>second"},
        {"markup becomes text", L"<script>alert(\"x\")</script>", "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"},
        {"an ampersand, also one that looks like an entity", L"R&D &lt;", "R&amp;D &amp;lt;"},
        {"a single quote stays", L"it's", "it's"},
        {"a lone line feed, as scripts send, is a line break", L"a\nb", "a<br>b"},
        {"a lone carriage return is a line break", L"a\rb\n\rc", "a<br>b<br><br>c"},
        {"markup split over lines", L"<b\r\n>", "&lt;b<br>&gt;"},
        {"non-ASCII text as UTF-8", L"gr\u00FC\u00DF \u20AC", "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(FormatComment(row.comment), row.stored);
    }
}

TEST(Blog, LinesArePostsAndEmptyLinesAreNone) {
    struct Row {
        const char* description;
        std::string file;
        std::vector<std::wstring> posts;
    };
    const Row rows[] = {
        {"empty file", "", {}},
        {"only line breaks", "\r\n\r\n\n\r", {}},
        {"lines ended by CR LF", "one\r\ntwo\r\n", {L"one", L"two"}},
        {"empty lines between posts", "one\r\n\r\n\r\ntwo\r\n", {L"one", L"two"}},
        {"last line without a line break", "one\r\ntwo", {L"one", L"two"}},
        {"lone LF and lone CR separate too", "a\nb\rc", {L"a", L"b", L"c"}},
        {"markup in an owner's line stays", "<b>bold</b> news\r\n", {L"<b>bold</b> news"}},
        {"UTF-8 posts", "caf\xC3\xA9\r\n", {L"caf\u00E9"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(SplitPosts(row.file), row.posts);
    }
}

TEST(Blog, AppendPostAddsOneLineAndMendsAMissingLineBreak) {
    struct Row {
        const char* description;
        std::string before;
        std::string after;
    };
    const Row rows[] = {
        {"empty file", "", "new\r\n"},
        {"file ending in CR LF", "old\r\n", "old\r\nnew\r\n"},
        {"file ending in LF", "old\n", "old\nnew\r\n"},
        {"last line without a line break is not joined", "old", "old\r\nnew\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        TempDir dir;
        const std::string path = dir.Write("blog.txt", row.before);
        EXPECT_TRUE(AppendPost(path, "new"));
        EXPECT_EQ(dir.Read("blog.txt"), row.after);
    }
}

TEST(Blog, AppendPostRefusesWhatCannotTakeAPostAndLeavesItAsItWas) {
    TempDir dir;
    EXPECT_FALSE(AppendPost(dir.Path() + "/missing.txt", "new"));
    EXPECT_EQ(::access((dir.Path() + "/missing.txt").c_str(), F_OK), -1) << "the file must not be created";

    const std::string readOnly = dir.Write("read-only.txt", "old\r\n");
    ::chmod(readOnly.c_str(), 0444);
    EXPECT_FALSE(AppendPost(readOnly, "new"));
    EXPECT_EQ(dir.Read("read-only.txt"), "old\r\n");

    const std::string locked = dir.Write("locked.txt", "old\r\n");
    const int holder = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_FALSE(AppendPost(locked, "new"));
    ::close(holder);
    EXPECT_EQ(dir.Read("locked.txt"), "old\r\n");
    EXPECT_TRUE(AppendPost(locked, "new"));

    EXPECT_FALSE(AppendPost(dir.Path(), "new")) << "a folder is no blog";
}

struct BlogSite : ServiceUnderTest<BlogService, RecordingSoundPlayer> {
    BlogSite() {
        root.Write("Blog/.blog", kTemplate);
        root.Write("Blog/news.txt", "first\r\n\r\nsecond");
        root.Write("Blog/index.htm", "<html><body>Index of blogs</body></html>");
        site.blogSound = L"/sounds/ding.wav";
    }
    RecordingSoundPlayer& sound = platform;
};

TEST(Blog, ACommentIsAppendedAnnouncedRecordedAndRedirectedBack) {
    BlogSite blog;
    blog.root.Write("Blog/my news.txt", "first\r\n");
    const Response answer = blog.Request(L"/Blog/my news.txt", {{L"comment", L"line one\r\nline <two>"}});
    EXPECT_TRUE(blog.handled);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(answer.Header("Location"), "/Blog/my%20news.txt");
    EXPECT_FALSE(answer.HasHeader("Content-Type")) << "what the file answer had written is gone";
    EXPECT_EQ(answer.body, "");
    EXPECT_FALSE(blog.fileLeftOpen);
    EXPECT_EQ(blog.root.Read("Blog/my news.txt"), "first\r\nline one<br>line &lt;two&gt;\r\n");
    EXPECT_EQ(blog.sound.played, std::vector<std::string>{"/sounds/ding.wav"});
    EXPECT_EQ(blog.site.lastBlogPostPath, L"/Blog/my%20news.txt");
}

TEST(Blog, ABlogThatCannotTakeThePostStillRedirectsAndRecordsNothing) {
    BlogSite blog;
    const std::string path = blog.root.Path() + "/Blog/news.txt";
    ::chmod(path.c_str(), 0444);
    const Response answer = blog.Request(L"/Blog/news.txt", {{L"comment", L"hello"}});
    EXPECT_TRUE(blog.handled);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(answer.Header("Location"), "/Blog/news.txt");
    EXPECT_EQ(blog.root.Read("Blog/news.txt"), "first\r\n\r\nsecond");
    EXPECT_TRUE(blog.sound.played.empty());
    EXPECT_EQ(blog.site.lastBlogPostPath, L"");
}

TEST(Blog, ACommentIsBoundedInLength) {
    struct Row {
        const char* description;
        std::wstring comment;
        bool taken;
    };
    const Row rows[] = {
        {"at the bound", std::wstring(limits::kMaxCommentBytes, L'x'), true},
        {"one byte above the bound", std::wstring(limits::kMaxCommentBytes + 1, L'x'), false},
        {"counted in UTF-8 bytes: 2049 two-byte characters", std::wstring(limits::kMaxCommentBytes / 2 + 1, L'\u00E9'), false},
        {"escaping does not count against it", std::wstring(limits::kMaxCommentBytes, L'<'), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        BlogSite blog;
        const Response answer = blog.Request(L"/Blog/news.txt", {{L"comment", row.comment}});
        EXPECT_TRUE(blog.handled);
        if (row.taken) {
            EXPECT_EQ(answer.statusLine, "HTTP/1.0 302 Redirection");
            EXPECT_EQ(blog.root.Read("Blog/news.txt"), "first\r\n\r\nsecond\r\n" + FormatComment(row.comment) + "\r\n");
        } else {
            EXPECT_EQ(answer.statusLine, "HTTP/1.0 400 Bad Request");
            EXPECT_EQ(answer.body, "400 Bad Request");
            EXPECT_EQ(blog.root.Read("Blog/news.txt"), "first\r\n\r\nsecond");
            EXPECT_TRUE(blog.sound.played.empty());
        }
    }
}

TEST(Blog, ABlogIsShownThroughItsFoldersTemplateOnePostPerLine) {
    BlogSite blog;
    const Response answer = blog.Request(L"/Blog/news.txt");
    EXPECT_TRUE(blog.handled);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(answer.Header("Content-Type"), "text/html");
    EXPECT_NE(answer.body.find("<ul><li class=\"post\">first</li><li class=\"post\">second</li></ul>"), std::string::npos) << answer.body;
    EXPECT_EQ(answer.Header("Content-Length"), std::to_string(answer.body.size()));
}

TEST(Blog, AnHtmFileUnderBlogIsABlogOfItsLinesToo) {
    BlogSite blog;
    blog.root.Write("Blog/page.htm", "<p>one</p>\r\n<p>two</p>\r\n");
    const Response answer = blog.Request(L"/Blog/page.htm");
    EXPECT_TRUE(blog.handled);
    EXPECT_NE(answer.body.find("<ul><li class=\"post\"><p>one</p></li><li class=\"post\"><p>two</p></li></ul>"), std::string::npos) << answer.body;
}

TEST(Blog, TheDefaultDocumentIsAnOrdinaryPageAndIgnoresComments) {
    struct Row {
        const char* description;
        std::wstring url;
    };
    const Row rows[] = {
        {"index.htm", L"/Blog/index.htm"},
        {"found ignoring case", L"/Blog/INDEX.HTM"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        BlogSite blog;
        blog.root.Write("Blog/INDEX.HTM", "<html><body>Index of blogs</body></html>");
        const Response answer = blog.Request(row.url, {{L"comment", L"ignored"}});
        EXPECT_TRUE(blog.handled);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
        EXPECT_NE(answer.body.find("Index of blogs"), std::string::npos);
        EXPECT_EQ(answer.body.find("class=\"post\""), std::string::npos) << "not shown as a blog";
        EXPECT_TRUE(blog.sound.played.empty());
    }
}

TEST(Blog, AFolderWithoutATemplateAnswersNotFound) {
    BlogSite blog;
    blog.root.Write("Blog/Other/diary.txt", "entry\r\n");
    const Response answer = blog.Request(L"/Blog/Other/diary.txt");
    EXPECT_TRUE(blog.handled);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 404 Not Found");
    EXPECT_EQ(answer.body, "404 Not Found");
    EXPECT_EQ(answer.raw.find("200 OK"), std::string::npos);
}

TEST(Blog, ATemplateNoPageCanBeBuiltFromIsNeverSentAsItIs) {
    BlogSite blog;
    blog.root.Write("Blog/Big/diary.txt", "entry\r\n");
    const std::string secret = blog.root.Write("Blog/Big/.blog", "template text");
    // Past the page size bound, so the page builder declines the template.
    ASSERT_EQ(::truncate(secret.c_str(), static_cast<off_t>(kMaxPageFileBytes) + 1), 0);
    const Response answer = blog.Request(L"/Blog/Big/diary.txt");
    EXPECT_TRUE(blog.handled);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 404 Not Found");
    EXPECT_EQ(answer.raw.find("template text"), std::string::npos);
}

TEST(Blog, OnlyPathsUnderBlogWithThatCaseAreBlogs) {
    BlogSite blog;
    blog.root.Write("blog/news.txt", "x\r\n");
    blog.root.Write("Other/news.txt", "x\r\n");
    for (const wchar_t* url : {L"/blog/news.txt", L"/Other/news.txt"}) {
        SCOPED_TRACE(WideToAnsi(url));
        const Response answer = blog.Request(url, {{L"comment", L"hello"}});
        EXPECT_FALSE(blog.handled);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK") << "the file answer is left as it was";
    }
}

TEST(Blog, AnEmptyOrBlankCommentShowsTheBlog) {
    for (const wchar_t* comment : {L"", L"   ", L" \r\n\t"}) {
        BlogSite blog;
        const Response answer = blog.Request(L"/Blog/news.txt", {{L"comment", comment}});
        EXPECT_TRUE(blog.handled);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
        EXPECT_EQ(blog.root.Read("Blog/news.txt"), "first\r\n\r\nsecond");
    }
}

TEST(Blog, OnlyTheMappedPathMakesABlogAndNothingIsWrittenThroughALink) {
    BlogSite blog;
    blog.root.Write("demo/Hobbies.html", "hobbies\r\n");
    ASSERT_EQ(::symlink("../demo/Hobbies.html", (blog.root.Path() + "/Blog/link.txt").c_str()), 0);
    for (const wchar_t* url : {L"/Blog/../demo/Hobbies.html", L"/Blog/link.txt"}) {
        SCOPED_TRACE(WideToAnsi(url));
        blog.Request(url, {{L"comment", L"x"}});
        EXPECT_FALSE(blog.handled);
        EXPECT_EQ(blog.root.Read("demo/Hobbies.html"), "hobbies\r\n");
    }
}

TEST(Blog, TheLastPostIsRecordedAsTheMappedPathNotAsTyped) {
    BlogSite blog;
    blog.Request(L"/Blog/news.txt/\x1B]0;x\x07", {{L"comment", L"hi"}});
    EXPECT_EQ(blog.site.lastBlogPostPath, L"/Blog/news.txt");
}

TEST(Blog, CommentsAreRefusedToAFullBlogAndPastTheClientsShare) {
    BlogSite blog;
    const std::string full(limits::kMaxBlogBytes + 1, 'x');
    blog.root.Write("Blog/full.txt", full);
    EXPECT_EQ(blog.Request(L"/Blog/full.txt", {{L"comment", L"hi"}}).statusLine, "HTTP/1.0 403 Forbidden");
    EXPECT_EQ(blog.root.Read("Blog/full.txt").size(), full.size());

    blog.root.Write("Blog/busy.txt", "");
    for (size_t i = 0; i <= limits::kCommentsPerMinute; ++i) {
        const bool taken = i < limits::kCommentsPerMinute;
        EXPECT_EQ(blog.Request(L"/Blog/busy.txt", {{L"comment", L"c"}}).statusLine,
                  taken ? "HTTP/1.0 302 Redirection" : "HTTP/1.0 403 Forbidden");
    }
    EXPECT_EQ(blog.root.Read("Blog/busy.txt").size(), limits::kCommentsPerMinute * 3);
}

}  // namespace
}  // namespace tarnhollow::test
