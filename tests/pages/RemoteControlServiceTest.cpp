// The remote control in memory: the key table, the order of the key events each key
// sends, and the answers: 302 back after a key, the page with Expires otherwise.
#include "pages/RemoteControlService.h"

#include <gtest/gtest.h>

#include <ctime>

#include "http/HttpDate.h"
#include "pages/PagesHarness.h"

namespace tarnhollow::test {
namespace {

class RecordingKeyInjector : public KeyInjector {
public:
    void SendKey(uint8_t virtualKey, bool down) override { events.emplace_back(virtualKey, down); }
    std::vector<std::pair<int, bool>> events;
};

using Events = std::vector<std::pair<int, bool>>;

Events Tap(int key) { return {{key, true}, {key, false}}; }

TEST(RemoteControl, EveryKeyOfTheTableSendsItsEventsInOrder) {
    struct Row {
        const char* name;
        Events events;
    };
    const Events app1 = {{0x5B, true}, {0xC1, true}, {0x5B, false}, {0xC1, false}};
    const Row rows[] = {
        {"Key1", Tap(0x70)}, {"Key2", Tap(0x71)}, {"Home", Tap(0x5B)}, {"Back", Tap(0x1B)},
        {"Talk", Tap(0x72)}, {"End", Tap(0x73)},  {"#", Tap(0x78)},    {"*", Tap(0x77)},
        {"Vol+", Tap(0x75)}, {"Vol-", Tap(0x76)}, {"Up", Tap(0x26)},   {"Down", Tap(0x28)},
        {"Left", Tap(0x25)}, {"Right", Tap(0x27)}, {"1", Tap(0x31)},   {"2", Tap(0x32)},
        {"3", Tap(0x33)},    {"4", Tap(0x34)},    {"5", Tap(0x35)},    {"6", Tap(0x36)},
        {"7", Tap(0x37)},    {"8", Tap(0x38)},    {"9", Tap(0x39)},    {"0", Tap(0x30)},
        // The application keys are pressed with the Windows key, released first.
        {"App1", app1},
        {"App2", {{0x5B, true}, {0xC2, true}, {0x5B, false}, {0xC2, false}}},
        {"App3", {{0x5B, true}, {0xC3, true}, {0x5B, false}, {0xC3, false}}},
        {"App4", {{0x5B, true}, {0xC4, true}, {0x5B, false}, {0xC4, false}}},
        // Action is pressed inside a press of code 0x86.
        {"Action", {{0x86, true}, {0x0D, true}, {0x0D, false}, {0x86, false}}},
    };
    EXPECT_EQ(KeyTable().size(), std::size(rows));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingKeyInjector keys;
        EXPECT_TRUE(RemoteControlService::PressKey(keys, AnsiToWide(row.name)));
        EXPECT_EQ(keys.events, row.events);
    }
}

TEST(RemoteControl, NamesOutsideTheTablePressNothing) {
    for (const wchar_t* name : {L"home", L"HOME", L"app1", L"Key3", L" Home", L"Home ", L"", L"Enter", L"10"}) {
        SCOPED_TRACE(WideToAnsi(name));
        RecordingKeyInjector keys;
        EXPECT_FALSE(RemoteControlService::PressKey(keys, name));
        EXPECT_TRUE(keys.events.empty());
    }
}

struct RemoteSite : ServiceUnderTest<RemoteControlService, RecordingKeyInjector> {
    RemoteSite() { root.Write("RemoteControl/phone.htm", "<html><body>Keys</body></html>"); }
    RecordingKeyInjector& keys = platform;
};

TEST(RemoteControl, AKeyIsPressedAndTheBrowserSentBackToThePage) {
    struct Row {
        const char* description;
        std::map<std::wstring, std::wstring> parameters;
        Events events;
    };
    const Row rows[] = {
        {"a key of the table", {{L"value", L"Home"}}, Tap(0x5B)},
        {"a name outside the table still redirects", {{L"value", L"home"}}, {}},
        {"param and all have no effect", {{L"value", L"Back"}, {L"param", L"Home"}, {L"all", L"1"}}, Tap(0x1B)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        RemoteSite remote;
        const Response answer = remote.Request(L"/RemoteControl/phone.htm", row.parameters);
        EXPECT_TRUE(remote.handled);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 302 Redirection");
        EXPECT_EQ(answer.Header("Location"), "/RemoteControl/phone.htm");
        EXPECT_FALSE(answer.HasHeader("Content-Type"));
        EXPECT_EQ(answer.body, "");
        EXPECT_EQ(remote.keys.events, row.events);
    }
}

TEST(RemoteControl, ThePageWithoutAKeyExpiresOneMinuteAhead) {
    for (const auto& parameters : std::vector<std::map<std::wstring, std::wstring>>{{}, {{L"value", L""}}, {{L"param", L"Home"}}}) {
        RemoteSite remote;
        const std::time_t before = std::time(nullptr);
        const Response answer = remote.Request(L"/RemoteControl/phone.htm", parameters);
        const std::time_t after = std::time(nullptr);
        EXPECT_TRUE(remote.handled);
        EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
        const auto expires = ParseHttpDate(AnsiToWide(answer.Header("Expires")));
        ASSERT_TRUE(expires) << answer.Header("Expires");
        EXPECT_GE(*expires, before + 60);
        EXPECT_LE(*expires, after + 60);
        EXPECT_NE(answer.body.find("Keys"), std::string::npos);
        EXPECT_TRUE(remote.keys.events.empty());
    }
}

TEST(RemoteControl, OnlyPathsUnderRemoteControlWithThatCaseAreOffered) {
    RemoteSite remote;
    remote.root.Write("remotecontrol/phone.htm", "x");
    const Response answer = remote.Request(L"/remotecontrol/phone.htm", {{L"value", L"Home"}});
    EXPECT_FALSE(remote.handled);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
    EXPECT_TRUE(remote.keys.events.empty());
}

}  // namespace
}  // namespace tarnhollow::test
