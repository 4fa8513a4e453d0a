// The dynamic DNS update through the real binary and a fake update host on 127.0.0.1:
// the status line turning into the registered name, the settings it leaves, SIGHUP and
// restarts after a rejected password, and plug-ins loaded from beside the executable.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <toml++/toml.h>

#include "ddns/FakeUpdateServer.h"
#include "net/Addresses.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// badauth unless the account is me with the password "right".
FakeUpdateServer::Answer Answer(const FakeUpdateServer::Request& request) {
    if (request.authorization != kRightAccount) return {401, "badauth"};
    return {200, "good 192.0.2.1"};
}

// Waits (up to a minute) until `read` returns text holding `wanted` `count` times.
template <typename Read>
bool WaitForText(Read read, const std::string& wanted, size_t count = 1) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = read();
        size_t found = 0;
        for (size_t at = text.find(wanted); at != std::string::npos; at = text.find(wanted, at + 1)) ++found;
        if (found >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class DynDnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        adapter = SelectAdapterAddress();
        if (adapter.empty()) GTEST_SKIP() << "this machine has no address but loopback";
        settings = scratch.Path() + "/settings.toml";
        Set({{"Name", "myhost"}, {"User", "me"}, {"Pass", "right"}, {"Domain", "homeip.net"},
             {"DNS_UpdateHost", updateServer.Host()}, {"ServiceHost", "localhost"}});
    }
    // Sets string values in the settings file, keeping the others.
    void Set(std::initializer_list<std::pair<std::string, std::string>> values) {
        toml::table table;
        if (std::filesystem::exists(settings)) table = toml::parse_file(settings);
        for (const auto& [name, value] : values) table.insert_or_assign(name, value);
        // Replaced whole, as the program does, so that it never reads half a file.
        std::ofstream(settings + ".new") << table << "\n";
        std::filesystem::rename(settings + ".new", settings);
    }
    std::string Stored(const std::string& name) {
        const toml::table table = toml::parse_file(settings);
        if (auto text = table[name].value<std::string>()) return *text;
        if (auto number = table[name].value<int64_t>()) return std::to_string(*number);
        return "(missing)";
    }
    ServerProcess::Options Options() { return {.root = root.Path(), .settings = settings}; }

    std::string adapter;
    TempDir scratch, root;
    std::string settings;
    FakeUpdateServer updateServer{Answer};
};

TEST_F(DynDnsTest, TheStatusLineTurnsIntoTheRegisteredNameAndLaterRefreshesAskNothing) {
    ServerProcess server(Options());
    ASSERT_TRUE(server.WaitUntilListening());
    const std::string registered = "http://myhost.homeip.net \n";
    ASSERT_TRUE(WaitForText([&] { return server.Stdout(); }, registered)) << server.Stdout();
    EXPECT_EQ(server.Stdout(), "http://" + adapter + ":" + std::to_string(server.Port()) + " \n" + registered);
    EXPECT_EQ(Stored("DNS_status"), "1");
    EXPECT_EQ(Stored("DNS_result"), "myhost.homeip.net");
    EXPECT_EQ(Stored("DNS_IP"), adapter);
    EXPECT_EQ(Stored("DNS_name"), "myhost");
    EXPECT_EQ(Stored("DNS_domain"), "homeip.net");
    EXPECT_EQ(Stored("DNS_comment"), "");
    // Each SIGHUP refreshes the status line as Save does; nothing changed, so nothing is sent.
    for (size_t reload = 1; reload <= 2; ++reload) {
        ::kill(server.Pid(), SIGHUP);
        ASSERT_TRUE(WaitForText([&] { return server.Stderr(); }, "Settings read again", reload));
    }
    EXPECT_EQ(updateServer.Count(), 1u);
    EXPECT_EQ(server.Stdout().find("right"), std::string::npos);
    EXPECT_EQ(server.Stderr().find("right"), std::string::npos);
}

TEST_F(DynDnsTest, ACorrectedPasswordIsSentAfterSighupAndAfterARestart) {
    const std::string rejected = " DynDns for 'myhost.homeip.net' says: Invalid User/Password 'badauth' (HTTP 401)";
    Set({{"Pass", "wrong"}});
    {
        ServerProcess server(Options());
        ASSERT_TRUE(server.WaitUntilListening());
        ASSERT_TRUE(WaitForText([&] { return server.Stdout(); }, rejected)) << server.Stdout();
        ::kill(server.Pid(), SIGHUP);
        ASSERT_TRUE(WaitForText([&] { return server.Stderr(); }, "Settings read again"));
        EXPECT_EQ(updateServer.Count(), 1u) << "the same rejected password is not sent again";
        Set({{"Pass", "right"}});
        ::kill(server.Pid(), SIGHUP);
        ASSERT_TRUE(WaitForText([&] { return server.Stdout(); }, "http://myhost.homeip.net \n")) << server.Stdout();
        EXPECT_EQ(updateServer.Count(), 2u);
    }
    Set({{"Pass", "wrong"}});
    {
        ServerProcess server(Options());
        ASSERT_TRUE(server.WaitUntilListening());
        ASSERT_TRUE(WaitForText([&] { return server.Stdout(); }, rejected)) << server.Stdout();
        EXPECT_EQ(updateServer.Count(), 3u);
    }
    Set({{"Pass", "right"}});
    ServerProcess server(Options());
    ASSERT_TRUE(server.WaitUntilListening());
    ASSERT_TRUE(WaitForText([&] { return server.Stdout(); }, "http://myhost.homeip.net \n")) << server.Stdout();
    EXPECT_EQ(updateServer.Count(), 4u);
    EXPECT_EQ(Stored("DNS_account").find("right"), std::string::npos);
}

// The program copied into a folder with a plug-in beside it, started headless.
class CopiedProgram {
public:
    CopiedProgram(const std::string& folder, const std::string& plugin, const std::string& settings,
                  const std::string& root)
        : folder_(folder) {
        std::filesystem::copy_file(TARNHOLLOW_BINARY, folder + "/tarnhollow");
        std::filesystem::copy_file(std::string(TARNHOLLOW_PLUGIN_DIR) + "/" + plugin, folder + "/" + plugin);
        port_ = FreePort();
        const std::string program = folder + "/tarnhollow";
        const std::string port = std::to_string(port_);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(::open((folder + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            ::dup2(::open((folder + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
            ::execl(program.c_str(), program.c_str(), "--headless", "--settings", settings.c_str(), "--root",
                    root.c_str(), "--port", port.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~CopiedProgram() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    std::string Read(const char* name) const {
        std::ifstream file(folder_ + "/" + name);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    int Port() const { return port_; }

private:
    std::string folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

TEST_F(DynDnsTest, TheSamplePluginLoadsFromBesideTheProgramAndTakesOver) {
    TempDir folder;
    CopiedProgram program(folder.Path(), "ddns_sample.so", settings, root.Path());
    // The sample writes names in lower case and picks the list's last domain.
    ASSERT_TRUE(WaitForText([&] { return program.Read("stdout"); }, "http://myhost.isa-geek.com (sample plug-in)\n"))
        << program.Read("stdout") << program.Read("stderr");
    EXPECT_NE(program.Read("stderr").find("Dynamic DNS plug-in loaded: " + folder.Path() + "/ddns_sample.so"),
              std::string::npos);
    EXPECT_EQ(updateServer.Count(), 0u);
}

TEST_F(DynDnsTest, TheTokenPluginLoadsFromBesideTheProgramAndSendsTheToken) {
    Set({{"DDNS_TokenURL", updateServer.Host() + "/token-update?token={token}&host={host}&ip={address}"},
         {"Pass", "unused"}});
    TempDir folder;
    CopiedProgram program(folder.Path(), "ddns_token.so", settings, root.Path());
    ASSERT_TRUE(updateServer.WaitForCount(1));
    EXPECT_EQ(updateServer.Requests()[0].target,
              "/token-update?token=me&host=myhost.homeip.net&ip=" + adapter);
    EXPECT_NE(program.Read("stderr").find("ddns_token.so"), std::string::npos);
}

}  // namespace
}  // namespace tarnhollow::test
