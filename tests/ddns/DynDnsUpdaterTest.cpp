// The dynamic DNS updater against a fake update host on 127.0.0.1: the answers and the
// comments they give, when a request is repeated, the settings left behind, failures,
// the request's encoding, and plug-ins.
#include "ddns/DynDnsUpdater.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <filesystem>
#include <toml++/toml.h>

#include "ddns/FakeUpdateServer.h"
#include "ddns/UpdateRequest.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

constexpr wchar_t kAddress[] = L"192.0.2.7";

// badauth unless the account is me with the password "right"; the body given otherwise.
FakeUpdateServer::Answering Answers(int code, std::string body) {
    return [code, body](const FakeUpdateServer::Request& request) {
        if (request.authorization != kRightAccount) return FakeUpdateServer::Answer{401, "badauth"};
        return FakeUpdateServer::Answer{code, body};
    };
}

class DynDnsUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override { SetSettingsFile(scratch.Path() + "/settings.toml"); }

    void PointAt(const FakeUpdateServer& server) { Store(L"DNS_UpdateHost", AnsiToWide(server.Host())); }
    void Store(const wchar_t* name, const std::wstring& value) {
        auto key = OpenSettingsKey();
        WriteString(key.get(), name, value);
    }
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

    TempDir scratch;
    TempDir noPlugins;
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> busy = asio::make_work_guard(io);
    const DynDnsAccount account{L"me", L"right", L"a", L"b"};
};

TEST_F(DynDnsUpdaterTest, AnAnswerGivesItsStatusCommentAndSettings) {
    struct Row {
        int code;
        std::string body;
        int status;
        std::wstring comment;
    };
    const Row rows[] = {
        {200, "good 192.0.2.7", 1, L""},
        {200, "nochg 192.0.2.7", 1, L""},
        {200, "Good 192.0.2.7", 0, L" DynDns for 'a.b' says:  'Good 192.0.2.7' (HTTP 200)"},
        {401, "badauth", 0, L" DynDns for 'a.b' says: Invalid User/Password 'badauth' (HTTP 401)"},
        {200, "!donator", 0, L" DynDns for 'a.b' says: Invalid Account credit '!donator' (HTTP 200)"},
        {200, "nohost", 0, L" DynDns for 'a.b' says: Invalid server/domain name 'nohost' (HTTP 200)"},
        {200, "abuse", 0, L" DynDns for 'a.b' says: Too many names changes 'abuse' (HTTP 200)"},
        {200, "911", 0, L" DynDns for 'a.b' says:  '911' (HTTP 200)"},
        {500, "good", 0, L" DynDns for 'a.b' says:  'good' (HTTP 500)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        TempDir settings;
        SetSettingsFile(settings.Path() + "/settings.toml");
        FakeUpdateServer server(Answers(row.code, row.body));
        PointAt(server);
        DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
        const DynDnsResult result = Update(updater, account);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.comment, row.status ? L"(untouched)" : row.comment);
        EXPECT_EQ(result.address, row.status ? L"a.b" : kAddress);
        EXPECT_EQ(Stored("DNS_status"), std::to_string(row.status));
        EXPECT_EQ(Stored("DNS_IP"), "192.0.2.7");
        EXPECT_EQ(Stored("DNS_name"), "a");
        EXPECT_EQ(Stored("DNS_domain"), "b");
        EXPECT_EQ(Stored("DNS_result"), row.status ? "a.b" : "*");
        EXPECT_EQ(Stored("DNS_account").find("right"), std::string::npos) << "the password itself is never stored";
        ASSERT_EQ(server.Count(), 1u);
        const auto request = server.Requests()[0];
        EXPECT_EQ(request.target, "/nic/update?hostname=a.b&myip=192.0.2.7");
        EXPECT_EQ(request.authorization, kRightAccount);
        EXPECT_EQ(request.userAgent.substr(request.userAgent.size() - 14), "Tarnhollow/1.5");
    }
}

TEST_F(DynDnsUpdaterTest, AnIncompleteAccountMakesNoRequestButCreatesTheSettings) {
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
    for (DynDnsAccount incomplete : {DynDnsAccount{L"", L"p", L"a", L"b"}, DynDnsAccount{L"u", L"", L"a", L"b"},
                                     DynDnsAccount{L"u", L"p", L"", L"b"}}) {
        const DynDnsResult result = Update(updater, incomplete);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.comment, L"(untouched)");
        EXPECT_EQ(result.address, kAddress);
    }
    EXPECT_EQ(server.Count(), 0u);
    for (const char* name : {"DNS_IP", "DNS_domain", "DNS_name", "DNS_result", "DNS_comment"}) {
        EXPECT_EQ(Stored(name), "*") << name;
    }
    EXPECT_EQ(Stored("DNS_status"), "0");
}

TEST_F(DynDnsUpdaterTest, RejectedCredentialsAreSentAgainOnlyWhenChangedAlsoAfterARestart) {
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    const DynDnsAccount wrong{L"me", L"wrong", L"a", L"b"};
    {
        DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
        EXPECT_EQ(Update(updater, wrong).comment,
                  L" DynDns for 'a.b' says: Invalid User/Password 'badauth' (HTTP 401)");
        bool requested = true;
        const DynDnsResult again = Update(updater, wrong, kAddress, &requested);
        EXPECT_FALSE(requested);
        EXPECT_EQ(again.status, 0);
        EXPECT_EQ(again.comment, L" DynDns for 'a.b' says: Invalid User/Password 'badauth' (HTTP 401)");
        EXPECT_EQ(Update(updater, account).status, 1);
        EXPECT_EQ(server.Count(), 2u);
        // Back to the wrong password: the account changed, so it is asked about.
        EXPECT_EQ(Update(updater, wrong).status, 0);
        EXPECT_EQ(server.Count(), 3u);
    }
    // After a restart the mark is gone, but the stored fingerprint still tells that the
    // corrected password is another account.
    DynDnsUpdater restarted(io.get_executor(), noPlugins.Path());
    bool requested = true;
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
    const DynDnsResult stored = Update(restarted, account);
    EXPECT_EQ(stored.comment, L" DynDns for 'a.b' says: Invalid server/domain name 'nohost' (HTTP 200)");
    EXPECT_EQ(server.Count(), 1u);
    Update(restarted, {L"me", L"right", L"c", L"b"});
    Update(restarted, {L"me", L"right", L"c", L"d"});
    Update(restarted, {L"me", L"right", L"c", L"d"}, L"192.0.2.8");
    EXPECT_EQ(server.Count(), 4u);
}

TEST_F(DynDnsUpdaterTest, ARequestWithoutAnAnswerStoresNothingAndIsMadeAgain) {
    struct Row {
        const char* description;
        bool reset;
        std::wstring commentStart;
    };
    const Row rows[] = {
        {"nothing listens", false, L"Network unavailable"},
        {"the answer is cut by a reset", true, L"DynDns Connection error "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        TempDir settings;
        SetSettingsFile(settings.Path() + "/settings.toml");
        FakeUpdateServer server([](const FakeUpdateServer::Request&) { return FakeUpdateServer::Answer{.resetMidAnswer = true}; });
        if (row.reset) {
            PointAt(server);
        } else {
            Store(L"DNS_UpdateHost", L"http://127.0.0.1:" + std::to_wstring(FreePort()));
        }
        DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool requested = false;
            const DynDnsResult result = Update(updater, account, kAddress, &requested);
            EXPECT_TRUE(requested);
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.comment.rfind(row.commentStart, 0), 0u) << WideToAnsi(result.comment);
            if (row.reset) {
                EXPECT_NE(result.comment, row.commentStart) << "the error's number follows";
            }
        }
        EXPECT_EQ(Stored("DNS_IP"), "*");
        EXPECT_EQ(Stored("DNS_comment"), "*");
        EXPECT_EQ(Stored("DNS_status"), "0");
    }
}

TEST_F(DynDnsUpdaterTest, TheRequestTargetEncodesControlAndHighBytesOnly) {
    EXPECT_EQ(FormatUpdateTarget(L"a&b=c%", L"d", L"?/"), "/nic/update?hostname=a&b=c%.d&myip=?/");
    EXPECT_EQ(FormatUpdateTarget(L"\u00e9\t", L"b", L"x"), "/nic/update?hostname=%C3%A9%09.b&myip=x");
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
    Update(updater, {L"me", L"right", L"my host&x", L"b"});
    ASSERT_EQ(server.Count(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/nic/update?hostname=my%20host&x.b&myip=192.0.2.7");
}

TEST_F(DynDnsUpdaterTest, OnlyAnHttpOrHttpsHostAndPortIsAnUpdateHost) {
    struct Row {
        const wchar_t* setting;
        std::string usable;
    };
    const Row rows[] = {
        {L"https://members.example.org", "https://members.example.org"},
        {L"http://127.0.0.1:8245/", "http://127.0.0.1:8245"},
        {L"ftp://example.org", ""},
        {L"https://example.org/path", ""},
        {L"https://user@example.org", ""},
    };
    for (const Row& row : rows) EXPECT_EQ(UsableUpdateHost(row.setting), row.usable) << WideToAnsi(row.setting);
    Store(L"DNS_UpdateHost", L"file:///etc/passwd");
    DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
    EXPECT_EQ(Update(updater, account).comment, L"Network unavailable");
}

TEST_F(DynDnsUpdaterTest, WithoutAPluginLoadingSelectsTheStoredDomainOrTheFirst) {
    DynDnsUpdater updater(io.get_executor(), noPlugins.Path());
    struct Row {
        std::wstring stored;
        std::wstring domain;
        int selected;
    };
    const Row rows[] = {{L"c.org", L"c.org", 2}, {L"B.NET", L"b.net", 1}, {L"elsewhere.example", L"a.com", 0}};
    for (const Row& row : rows) {
        DomainList list{{L"a.com", L"b.net", L"c.org"}};
        std::wstring domain = row.stored, name = L"Name", user = L"u";
        updater.PatchOptions(list, domain, name, user, true);
        EXPECT_EQ(domain, row.domain);
        EXPECT_EQ(list.selected, row.selected);
        domain = L"kept";
        updater.PatchOptions(list, domain, name, user, false);
        EXPECT_EQ(domain, L"kept") << "saving changes nothing without a plug-in";
    }
}

class DynDnsPluginTest : public DynDnsUpdaterTest {
protected:
    // A folder holding copies of the named plug-ins from the build.
    std::string FolderWith(std::initializer_list<const char*> plugins) {
        for (const char* plugin : plugins) {
            std::filesystem::copy_file(std::string(TARNHOLLOW_PLUGIN_DIR) + "/" + plugin, folder.Path() + "/" + plugin);
        }
        return folder.Path();
    }
    TempDir folder;
};

TEST_F(DynDnsPluginTest, APluginWithOnlyPatchOptionsLeavesUpdatesToTheProtocol) {
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    DynDnsUpdater updater(io.get_executor(), FolderWith({"ddns_sample_options.so"}));
    EXPECT_EQ(updater.PluginPath(), folder.Path() + "/ddns_sample_options.so");
    DomainList list{{L"a.com", L"b.net", L"c.org"}};
    std::wstring domain = L"a.com", name = L"MyHost", user = L"u";
    updater.PatchOptions(list, domain, name, user, true);
    EXPECT_EQ(name, L"myhost");
    EXPECT_EQ(domain, L"c.org");
    EXPECT_EQ(list.selected, 2);
    EXPECT_EQ(Update(updater, {L"me", L"right", name, domain}).address, L"myhost.c.org");
    EXPECT_EQ(server.Count(), 1u);
}

TEST_F(DynDnsPluginTest, APluginsStartTakesOverTheFirstInNameOrder) {
    FakeUpdateServer server(Answers(200, "good"));
    PointAt(server);
    DynDnsUpdater updater(io.get_executor(), FolderWith({"ddns_sample_options.so", "ddns_sample.so"}));
    EXPECT_EQ(updater.PluginPath(), folder.Path() + "/ddns_sample.so");
    const DynDnsResult result = Update(updater, account);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.address, L"a.b");
    EXPECT_EQ(result.comment, L"(sample plug-in)");
    EXPECT_EQ(server.Count(), 0u);
    EXPECT_EQ(Stored("DNS_IP"), "(missing)") << "a plug-in's update leaves the protocol's settings alone";
}

TEST_F(DynDnsPluginTest, TheTokenPluginSendsOneGetPerChange) {
    FakeUpdateServer server([](const FakeUpdateServer::Request& request) {
        return request.target.find("host=bad.b") != std::string::npos ? FakeUpdateServer::Answer{200, "KO"}
                                                                       : FakeUpdateServer::Answer{200, "OK"};
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
    const DynDnsResult refused = Update(updater, {L"to ken", L"", L"bad", L"b"});
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.comment, L" Token update for 'bad.b' says: 'KO' (HTTP 200)");
}

}  // namespace
}  // namespace tarnhollow::test
