// Pages and folder listings through the real binary: a text file built into the file
// template, a folder listing, a default document's menu and a file streamed whole.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        root_.Write("notes.txt", "one\r\n\r\ntwo\r\nthree");
        root_.Write("docs/my guide.htm", "<html><body>guide</body></html>");
        root_.Write("docs/index.html", "<BODY>welcome</BODY>");
        root_.Write("photos/.thumbs", "");
        for (int i = 0; big_.size() < 200000; ++i) big_ += std::to_string(i) + "\n";
        root_.Write("data.bin", big_);
        // A stored demo version beyond any program's keeps the demo site out of the root.
        const std::string settings = scratch_.Write("settings.toml", "CreateDemo = 4294967295\n");
        server_ = std::make_unique<ServerProcess>(ServerProcess::Options{.root = root_.Path(), .settings = settings});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
    }

    TempDir root_;
    TempDir scratch_;
    std::string big_;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(Pages, ATextFileIsSentAsAPageWithItsLineBreaksConverted) {
    Response response = Get(server_->Port(), "/notes.txt");
    EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(response.Header("Content-Type"), "text/html");
    EXPECT_TRUE(response.HasHeader("Last-Modified"));
    EXPECT_EQ(response.Header("Content-Length"), std::to_string(response.body.size()));
    EXPECT_NE(response.body.find("\none<p>two<br>three\n"), std::string::npos) << response.body;
    EXPECT_EQ(response.body.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(response.body.find("href=\"/docs\""), std::string::npos);
}

TEST_F(Pages, TheRootIsListedThroughTheDirectoryTemplate) {
    Response response = Get(server_->Port(), "/");
    EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(response.Header("Content-Type"), "text/html");
    EXPECT_EQ(response.Header("Content-Length"), std::to_string(response.body.size()));
    const char* links[] = {"href=\"/docs\"", "href=\"/photos\"", "href=\"/data.bin\"", "href=\"/notes.txt\""};
    size_t at = 0;
    for (const char* link : links) {
        const size_t found = response.body.find(link, at);
        ASSERT_NE(found, std::string::npos) << link << "\n" << response.body;
        at = found;
    }
    EXPECT_EQ(response.body.find("<span>..</span>"), std::string::npos);
}

TEST_F(Pages, AFolderWithOnlyHiddenFilesShowsTheEmptyFolderMessage) {
    Response response = Get(server_->Port(), "/photos/");
    EXPECT_NE(response.body.find("<a href=\"/photos/#\">"), std::string::npos) << response.body;
    EXPECT_NE(response.body.find("<br> - Create Folders for data to be shared in<br> '" + root_.Path() +
                                 "/photos/'<br> - Populate the folders with files<br>"),
              std::string::npos)
        << response.body;
}

TEST_F(Pages, ADefaultDocumentIsBuiltWithTheMenuOfItsFolder) {
    Response redirect = Get(server_->Port(), "/docs/");
    EXPECT_EQ(redirect.statusLine, "HTTP/1.0 302 Redirection");
    EXPECT_EQ(redirect.Header("Location"), "/docs/index.html");
    Response page = Get(server_->Port(), "/docs/index.html");
    EXPECT_NE(page.body.find("\n<BODY>welcome</BODY>\n"), std::string::npos) << page.body;
    EXPECT_NE(page.body.find("<a href=\"/docs/.\">"), std::string::npos);
    EXPECT_NE(page.body.find("<a href=\"/docs/..\">"), std::string::npos);
    EXPECT_NE(page.body.find("<a href=\"/docs/my%20guide.htm\">"), std::string::npos);
    EXPECT_NE(page.body.find("<span>my guide</span>"), std::string::npos);
    EXPECT_EQ(page.body.find("index</span>"), std::string::npos);
}

TEST_F(Pages, AnyOtherFileIsStreamedWhole) {
    Response response = Get(server_->Port(), "/data.bin");
    EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(response.Header("Content-Length"), std::to_string(big_.size()));
    EXPECT_EQ(response.body, big_);
}

}  // namespace
}  // namespace tarnhollow::test
