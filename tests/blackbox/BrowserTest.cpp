// What a visitor's browser makes of a folder listing and a built text page: headless
// Chromium loads them from the real binary on 127.0.0.1 and its document tree is
// checked (entries, their text and links, the converted paragraphs).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/Chromium.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// The document tree Chromium builds for `url`; empty when Chromium fails.
// The page's tree; when Chromium did not finish, the test fails with its log.
std::string DumpDom(const std::string& url) {
    BrowserRun run = RunChromium(url, 1000);
    EXPECT_TRUE(run.finished) << "Chromium did not load " << url << ":\n" << run.log;
    return run.finished ? run.dom : std::string();
}

// The text of every <span> inside a link of the listing (the name column), in page
// order, as the browser serialises it.
std::vector<std::string> EntryNames(const std::string& dom) {
    std::vector<std::string> names;
    size_t at = 0;
    while ((at = dom.find("<span>", at)) != std::string::npos) {
        at += 6;
        names.push_back(dom.substr(at, dom.find("</span>", at) - at));
    }
    return names;
}

class Browser : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kChromium, X_OK) != 0) GTEST_SKIP() << kChromium << " is not installed";
        root_.Write("notes.txt", "one\r\n\r\ntwo\r\nthree");
        root_.Write("shared/holiday plans.txt", "x");
        root_.Write("shared/a&b <c>.txt", "x");
        root_.Write("shared/x\" onmouseover=\"alert(1).txt", "x");
        root_.Write("shared/index-notes.txt", "counted, not listed");
        root_.Write("shared/.hidden", "x");
        root_.Write("shared/pictures/a.jpg", "x");
        // A stored demo version beyond any program's keeps the demo site out of the root.
        const std::string settings = scratch_.Write("settings.toml", "CreateDemo = 4294967295\n");
        server_ = std::make_unique<ServerProcess>(ServerProcess::Options{.root = root_.Path(), .settings = settings});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server_->Port()) + path;
    }

    TempDir root_;
    TempDir scratch_;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(Browser, AListingShowsEachEntryByNameWithAWorkingLink) {
    const std::string dom = DumpDom(Url("/shared/"));
    ASSERT_FALSE(dom.empty()) << "Chromium did not load the page";
    EXPECT_EQ(EntryNames(dom),
              (std::vector<std::string>{"..", "pictures", "a&amp;b &lt;c&gt;.txt", "holiday plans.txt",
                                        "x\" onmouseover=\"alert(1).txt"}));
    EXPECT_NE(dom.find("<a href=\"/shared/holiday%20plans.txt\">"), std::string::npos) << dom;
    EXPECT_NE(dom.find("<a href=\"/shared/a%26b%20%3Cc%3E.txt\">"), std::string::npos) << dom;
    // The whole tag: a quote in a file name did not become an attribute of the link.
    EXPECT_NE(dom.find("<a href=\"/shared/x%22%20onmouseover=%22alert(1).txt\">"), std::string::npos) << dom;
}

TEST_F(Browser, TheRootListingShowsFoldersThenFilesWithoutParentEntries) {
    const std::string dom = DumpDom(Url("/"));
    ASSERT_FALSE(dom.empty()) << "Chromium did not load the page";
    EXPECT_EQ(EntryNames(dom), (std::vector<std::string>{"shared", "notes.txt"}));
    EXPECT_NE(dom.find("<title>/ - Tarnhollow</title>"), std::string::npos);
    EXPECT_NE(dom.find("<link rel=\"stylesheet\" href=\"/styles.css\">"), std::string::npos);
}

TEST_F(Browser, ATextPageShowsItsParagraphsAndLineBreaks) {
    const std::string dom = DumpDom(Url("/notes.txt"));
    ASSERT_FALSE(dom.empty()) << "Chromium did not load the page";
    // The browser closes the paragraph the blank line opened at the end of the content.
    const size_t main = dom.find("<main class=\"content page\">");
    ASSERT_NE(main, std::string::npos) << dom;
    EXPECT_EQ(dom.substr(main, dom.find("</main>", main) - main),
              "<main class=\"content page\">\none<p>two<br>three\n  </p>");
}

}  // namespace
}  // namespace tarnhollow::test
