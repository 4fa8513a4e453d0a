// The dynamic DNS updater against a fake update host on 127.0.0.1: the answers and the
// comments they give, when a request is repeated, the settings left behind, failures,
// the request's encoding, and plug-ins.
#include "ddns/DynDnsUpdater.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <filesystem>
#include <optional>
#include <toml++/toml.h>

#include "ddns/FakeUpdateServer.h"
#include "ddns/UpdateRequest.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

using Answer = FakeUpdateServer::Answer;
constexpr wchar_t kAddress[] = L"192.0.2.7";
const std::wstring kSays = L" DynDns for 'a.b' says: ";
const std::wstring kBadauth = kSays + L"Invalid User/Password 'badauth' (HTTP 401)";

// badauth unless the account is me with the password "right"; the body given otherwise.
FakeUpdateServer::Answering Answers(int code, std::string body) {
    return [code, body](const FakeUpdateServer::Request& request) {
        return request.authorization == kRightAccount ? Answer{code, body} : Answer{401, "badauth"};
    };
}

class DynDnsUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override { FreshSettings(); }
    // Starts over with an empty settings file.
    void FreshSettings() { SetSettingsFile(scratch.emplace().Path() + "/settings.toml"); }
    void PointAt(const FakeUpdateServer& server) { Store(L"DNS_UpdateHost", AnsiToWide(server.Host())); }
    void Store(const wchar_t* name, const std::wstring& value) { WriteString(OpenSettingsKey().get(), name, value); }
    // A stored value as the settings file holds it; "(missing)" when it is not there.
    std::string Stored(const std::string& name) {
        const toml::table table = toml::parse_file(SettingsFile());
        if (auto text = table[name].value<std::string>()) return *text;
        if (auto number = table[name].value<int64_t>()) return std::to_string(*number);
        return "(missing)";
    }
    // One update, waiting for its outcome when it needs a request.
    DynDnsResult Update(DynDnsUpdater& updater, const DynDnsAccount& account, std::wstring address = kAddress,
                        bool* requested = nullptr) {
        std::wstring comment = L"(untouched)";
        std::optional<DynDnsResult> later;
        const std::optional<int> status =
            updater.Update(account, address, comment, [&](const DynDnsResult& result) { later = result; });
        if (requested) *requested = !status;
        if (status) return {*status, address, comment};
        while (!later) io.run_one_for(std::chrono::seconds(60));
        return *later;
    }
    // "status address|comment", to check a whole result at once.
    static std::wstring Said(const DynDnsResult& result) {
        return std::to_wstring(result.status) + L" " + result.address + L"|" + result.comment;
    }
    // PatchOptions on the domains a.com, b.net and c.org: "selection domain name" after it.
    static std::wstring Patched(DynDnsUpdater& updater, std::wstring domain, std::wstring name, bool loading) {
        DomainList list{{L"a.com", L"b.net", L"c.org"}};
        std::wstring user = L"u";
        updater.PatchOptions(list, domain, name, user, loading);
        return std::to_wstring(list.selected) + L" " + domain + L" " + name;
    }
    // A folder holding copies of the named plug-ins from the build.
    std::string FolderWith(std::initializer_list<const char*> plugins) {
        for (const char* plugin : plugins) {
            std::filesystem::copy_file(TARNHOLLOW_PLUGIN_DIR + std::string("/") + plugin, folder.Path() + "/" + plugin);
        }
        return folder.Path();
    }

    std::optional<TempDir> scratch;
    TempDir noPlugins, folder;
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> busy = asio::make_work_guard(io);
    const DynDnsAccount account{L"me", L"right", L"a", L"b"};
};

TEST_F(DynDnsUpdaterTest, AnAnswerGivesItsStatusCommentAndSettings) {
    struct Row { int code; std::string body; int status; std::wstring says; };
    const Row rows[] = {
        {200, "good 192.0.2.7", 1, L""},
        {200, "nochg 192.0.2.7", 1, L""},
        {200, "Good 192.0.2.7", 0, L" 'Good 192.0.2.7' (HTTP 200)"},
        {401, "badauth", 0, L"Invalid User/Password 'badauth' (HTTP 401)"},
        {200, "!donator", 0, L"Invalid Account credit '!donator' (HTTP 200)"},
        {200, "nohost", 0, L"Invalid server/domain name 'nohost' (HTTP 200)"},
        {200, "abuse", 0, L"Too many names changes 'abuse' (HTTP 200)"},
        {200, "911", 0, L" '911' (HTTP 200)"},
        {500, "good", 0, L" 'good' (HTTP 500)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        FreshSettings();
        FakeUpdateServer server(Answers(row.code, row.body));
        PointAt(server);
        DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
        const DynDnsResult result = Update(updater, account);
        EXPECT_EQ(Said(result), row.status ? L"1 a.b|(untouched)" : L"0 192.0.2.7|" + kSays + row.says);
        for (const auto& [name, value] : {std::pair<const char*, std::string>{"DNS_status", std::to_string(row.status)},
                                          {"DNS_IP", "192.0.2.7"}, {"DNS_name", "a"}, {"DNS_domain", "b"},
                                          {"DNS_result", row.status ? "a.b" : "*"}}) {
            EXPECT_EQ(Stored(name), value) << name;
        }
        EXPECT_EQ(Stored("DNS_account").find("right"), std::string::npos) << "the password itself is never stored";
        ASSERT_EQ(server.Count(), 1u);
        const auto request = server.Requests()[0];
        EXPECT_EQ(request.target + " " + request.authorization + " " + request.userAgent.substr(request.userAgent.size() - 14),
                  "/nic/update?hostname=a.b&myip=192.0.2.7 " + std::string(kRightAccount) + " Tarnhollow/1.5");
    }
}

TEST_F(DynDnsUpdaterTest, RejectedCredentialsAreSentAgainOnlyWhenChangedAlsoAfterARestart) {
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    const DynDnsAccount wrong{L"me", L"wrong", L"a", L"b"};
    bool requested = true;
    {
        DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
        EXPECT_EQ(Update(updater, wrong).comment, kBadauth);
        EXPECT_EQ(Said(Update(updater, wrong, kAddress, &requested)), L"0 192.0.2.7|" + kBadauth);
        EXPECT_FALSE(requested);
        EXPECT_EQ(Update(updater, account).status, 1);
        EXPECT_EQ(server.Count(), 2u);
        // Back to the wrong password: the account changed, so it is asked about.
        EXPECT_EQ(Update(updater, wrong).status, 0);
        EXPECT_EQ(server.Count(), 3u);
    }
    // After a restart the mark is gone, but the stored fingerprint still tells that the
    // corrected password is another account.
    DynDnsUpdater restarted(io.get_executor(), noPlugins.Path());
    EXPECT_EQ(Update(restarted, wrong, kAddress, &requested).status, 0);
    EXPECT_FALSE(requested);
    EXPECT_EQ(Update(restarted, account).status, 1);
    EXPECT_EQ(server.Count(), 4u);
    EXPECT_EQ(Update(restarted, account, kAddress, &requested).address, L"a.b");
    EXPECT_FALSE(requested);
}

TEST_F(DynDnsUpdaterTest, NohostIsNotAskedAgainUntilNameDomainOrAddressChangeAlsoAfterARestart) {
    FakeUpdateServer server(Answers(200, "nohost"));
    PointAt(server);
    {
        DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
        Update(updater, account);
        Update(updater, account);
    }
    DynDnsUpdater restarted(io.get_executor(), noPlugins.Path());
    EXPECT_EQ(Update(restarted, account).comment, kSays + L"Invalid server/domain name 'nohost' (HTTP 200)");
    EXPECT_EQ(server.Count(), 1u);
    Update(restarted, {L"me", L"right", L"my host&x", L"b"});
    Update(restarted, {L"me", L"right", L"my host&x", L"d"});
    Update(restarted, {L"me", L"right", L"my host&x", L"d"}, L"192.0.2.8");
    ASSERT_EQ(server.Count(), 4u);
    EXPECT_EQ(server.Requests()[1].target, "/nic/update?hostname=my%20host&x.b&myip=192.0.2.7") << "the updater encodes the name";
}

TEST_F(DynDnsUpdaterTest, AnUpdateWithoutAnAnswerStoresNothingAndIsTriedAgain) {
    FakeUpdateServer server([](const FakeUpdateServer::Request&) { return Answer{.resetMidAnswer = true}; });
    const std::wstring cut = AnsiToWide(server.Host());
    struct Row { const char* description; std::wstring host; DynDnsAccount account; bool requested; std::wstring commentStart; };
    const Row rows[] = {
        {"nothing listens", L"http://127.0.0.1:" + std::to_wstring(FreePort()), account, true, L"Network unavailable"},
        {"the answer is cut by a reset", cut, account, true, L"DynDns Connection error "},
        {"the host setting is no http(s) host", L"file:///etc/passwd", account, false, L"Network unavailable"},
        {"no user", cut, {L"", L"p", L"a", L"b"}, false, L"(untouched)"},
        {"no password", cut, {L"u", L"", L"a", L"b"}, false, L"(untouched)"},
        {"no name", cut, {L"u", L"p", L"", L"b"}, false, L"(untouched)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        FreshSettings();
        Store(L"DNS_UpdateHost", row.host);
        DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool requested = !row.requested;
            const DynDnsResult result = Update(updater, row.account, kAddress, &requested);
            EXPECT_EQ(requested, row.requested);
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.address, kAddress);
            EXPECT_EQ(result.comment.rfind(row.commentStart, 0), 0u) << WideToAnsi(result.comment);
            EXPECT_NE(result.comment.back(), L' ') << "a connection error's number follows";
        }
        for (const char* name : {"DNS_IP", "DNS_domain", "DNS_name", "DNS_result", "DNS_comment"}) {
            EXPECT_EQ(Stored(name), "*") << name;
        }
        EXPECT_EQ(Stored("DNS_status"), "0");
    }
    EXPECT_EQ(server.Count(), 2u) << "only the two attempts whose answer was cut reached the host";
}

TEST_F(DynDnsUpdaterTest, TheRequestTargetEncodesControlAndHighBytesOnly) {
    EXPECT_EQ(FormatUpdateTarget(L"a&b=c%", L"d", L"?/"), "/nic/update?hostname=a&b=c%.d&myip=?/");
    EXPECT_EQ(FormatUpdateTarget(L"\u00e9\t", L"b", L"x"), "/nic/update?hostname=%C3%A9%09.b&myip=x");
}

TEST_F(DynDnsUpdaterTest, OnlyAnHttpOrHttpsHostAndPortIsAnUpdateHost) {
    const std::pair<const wchar_t*, std::string> rows[] = {
        {L"https://members.example.org", "https://members.example.org"},
        {L"http://127.0.0.1:8245/", "http://127.0.0.1:8245"},
        {L"ftp://example.org", ""},
        {L"https://example.org/path", ""},
        {L"https://user@example.org", ""},
    };
    for (const auto& [setting, usable] : rows) EXPECT_EQ(UsableUpdateHost(setting), usable) << WideToAnsi(setting);
}

TEST_F(DynDnsUpdaterTest, WithoutAPluginLoadingSelectsTheStoredDomainOrTheFirst) {
    DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
    EXPECT_EQ(Patched(updater, L"c.org", L"Name", true), L"2 c.org Name");
    EXPECT_EQ(Patched(updater, L"B.NET", L"Name", true), L"1 b.net Name");
    EXPECT_EQ(Patched(updater, L"elsewhere.example", L"Name", true), L"0 a.com Name");
    EXPECT_EQ(Patched(updater, L"kept", L"Name", false), L"-1 kept Name") << "saving changes nothing without a plug-in";
}

using DynDnsPluginTest = DynDnsUpdaterTest;

TEST_F(DynDnsPluginTest, APluginWithOnlyPatchOptionsLeavesUpdatesToTheProtocol) {
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    DynDnsUpdater updater(io.get_executor(), FolderWith({"ddns_sample_options.so"}));
    EXPECT_EQ(updater.PluginPath(), folder.Path() + "/ddns_sample_options.so");
    EXPECT_EQ(Patched(updater, L"a.com", L"MyHost", true), L"2 c.org myhost");
    EXPECT_EQ(Update(updater, {L"me", L"right", L"myhost", L"c.org"}).address, L"myhost.c.org");
    EXPECT_EQ(server.Count(), 1u);
}

TEST_F(DynDnsPluginTest, APluginsStartTakesOverTheFirstInNameOrder) {
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    DynDnsUpdater updater(io.get_executor(), FolderWith({"ddns_sample_options.so", "ddns_sample.so"}));
    EXPECT_EQ(updater.PluginPath(), folder.Path() + "/ddns_sample.so");
    EXPECT_EQ(Said(Update(updater, account)), L"1 a.b|(sample plug-in)");
    EXPECT_EQ(server.Count(), 0u);
    EXPECT_EQ(Stored("DNS_IP"), "(missing)") << "a plug-in's update leaves the protocol's settings alone";
}

TEST_F(DynDnsPluginTest, TheTokenPluginSendsOneGetPerChange) {
    FakeUpdateServer server([](const FakeUpdateServer::Request& request) {
        return Answer{200, request.target.find("host=bad.b") != std::string::npos ? "KO" : "OK"};
    });
    Store(L"DDNS_TokenURL", AnsiToWide(server.Host() + "/update?token={token}&host={host}&ip={address}"));
    DynDnsUpdater updater(io.get_executor(), FolderWith({"ddns_token.so"}));
    DomainList list{{L"b"}};
    std::wstring domain = L"b", name = L"a", user = L"to ken";
    updater.PatchOptions(list, domain, name, user, true);
    const DynDnsAccount token{L"to ken", L"unused", L"a", L"b"};
    EXPECT_EQ(Update(updater, token).address, L"a.b");
    EXPECT_EQ(Update(updater, token).status, 1);
    ASSERT_EQ(server.Count(), 1u) << "an unchanged update is not sent again";
    EXPECT_EQ(server.Requests()[0].target, "/update?token=to%20ken&host=a.b&ip=192.0.2.7");
    EXPECT_EQ(Said(Update(updater, {L"to ken", L"", L"bad", L"b"})),
              L"0 192.0.2.7| Token update for 'bad.b' says: 'KO' (HTTP 200)");
}

}  // namespace
}  // namespace tarnhollow::test
