// The remote control through the real binary on an Xvfb display of the test's own: key
// events as another X client records them, the 302 back, and the page's Expires.
#include <gtest/gtest.h>

#include <regex>

#include "http/HttpDate.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"
#include "support/Xvfb.h"

namespace tarnhollow::test {
namespace {

class RemoteControlServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb_.Running()) << "Xvfb did not start (scripts/install-deps.sh test installs it)";
        server_ = std::make_unique<ServerProcess>(
            ServerProcess::Options{.root = root_.Path(), .environment = {"DISPLAY=" + xvfb_.Display()}});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
        root_.Write("RemoteControl/keys.htm", "<html><body>The keys</body></html>");
        root_.Write("RemoteControl/keys.png", "not a page");
        recorder_ = std::make_unique<KeyRecorder>(xvfb_.Display());
        ASSERT_TRUE(recorder_->Ready());
    }
    Response Press(const std::string& query) { return Get(server_->Port(), "/RemoteControl/keys.htm?" + query); }

    XvfbServer xvfb_{240, 320};
    TempDir root_;
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<KeyRecorder> recorder_;
};

TEST_F(RemoteControlServer, KeysArePressedInTheirOrderAndTheBrowserSentBack) {
    struct Row {
        const char* description;
        std::string query;
        std::vector<std::string> events;
    };
    const Row rows[] = {
        {"a name outside the table presses nothing", "value=home", {}},
        {"Home is the Windows key", "value=Home", {"+Super_L", "-Super_L"}},
        {"App2 inside the Windows key, which is released first", "value=App2&param=x&all=1",
         {"+Super_L", "+XF86Launch2", "-Super_L", "-XF86Launch2"}},
        {"Action is Return inside code 0x86", "value=Action", {"+XF86Select", "+Return", "-Return", "-XF86Select"}},
        {"a digit", "value=7", {"+7", "-7"}},
    };
    std::vector<std::string> expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        const Response answer = Press(row.query);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 302 Redirection");
        EXPECT_EQ(answer.Header("Location"), "/RemoteControl/keys.htm");
        EXPECT_EQ(answer.body, "");
        expected.insert(expected.end(), row.events.begin(), row.events.end());
        // Every key's events are complete before the next request, so the record of
        // a row that presses nothing is checked by the rows after it.
        EXPECT_EQ(recorder_->WaitFor(expected.size()), expected);
    }
}

TEST_F(RemoteControlServer, ThePageWithoutAKeyExpiresOneMinuteAfterItsDate) {
    const Response page = Get(server_->Port(), "/RemoteControl/keys.htm");
    EXPECT_EQ(page.statusLine, "HTTP/1.0 200 OK");
    EXPECT_NE(page.body.find("The keys"), std::string::npos);
    const auto date = ParseHttpDate(AnsiToWide(page.Header("Date")));
    const auto expires = ParseHttpDate(AnsiToWide(page.Header("Expires")));
    ASSERT_TRUE(date && expires) << page.raw.substr(0, page.raw.find("\r\n\r\n"));
    // Both are read from the clock while the one request is answered.
    EXPECT_GE(*expires - *date, 60);
    EXPECT_LE(*expires - *date, 61);
}

TEST_F(RemoteControlServer, AFileThatIsNotAPageIsServedAndPressesNothing) {
    const Response file = Get(server_->Port(), "/RemoteControl/keys.png?value=Home");
    EXPECT_EQ(file.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(file.body, "not a page");
    Press("value=Back");
    EXPECT_EQ(recorder_->WaitFor(2), (std::vector<std::string>{"+Escape", "-Escape"}));
}

}  // namespace
}  // namespace tarnhollow::test
