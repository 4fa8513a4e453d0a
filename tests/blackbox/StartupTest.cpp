// Start-up and shutdown of the real binary: settings written on the first run, the
// port setting, a port in use, signals and the single-instance rule.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <filesystem>
#include <toml++/toml.h>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

TEST(Startup, FirstRunWritesEveryStartingSettingWithItsTomlType) {
    TempDir root;
    ServerProcess server({.root = root.Path()});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    EXPECT_EQ(server.Stop(), 0);

    toml::table settings = toml::parse_file(server.SettingsFile());
    struct Row {
        const char* name;
        bool integer;
        int64_t number;
        const char* text;
    };
    const Row rows[] = {
        {"Port", true, 8080, nullptr},          {"Enable", true, 1, nullptr},
        {"CreateDemo", true, 50397743, nullptr}, {"ConnMgr", true, 1, nullptr},
        {"ServicePort", true, 1212, nullptr},    {"ServicePeriod", true, 20000, nullptr},
        {"GoogleApiKey", false, 0, ""},          {"ServiceHost", false, 0, ""},
        {"BlogSound", false, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const toml::node* node = settings.get(row.name);
        ASSERT_NE(node, nullptr);
        if (row.integer) {
            ASSERT_TRUE(node->is_integer());
            EXPECT_EQ(node->value<int64_t>().value(), row.number);
        } else {
            ASSERT_TRUE(node->is_string());
            if (row.text) {
                EXPECT_EQ(node->value<std::string>().value(), row.text);
            }
        }
    }
}

TEST(Startup, WithoutPortArgumentTheStoredPortIsUsed) {
    TempDir root, scratch;
    const int port = FreePort();
    const std::string settings = scratch.Write("settings.toml", "Port = " + std::to_string(port) + "\n");
    ServerProcess server({.root = root.Path(), .settings = settings, .port = port, .passPort = false});
    ASSERT_TRUE(server.WaitUntilListening());
    EXPECT_EQ(ParseResponse(RawExchange(port, "GET /nothing HTTP/1.0\r\n\r\n")).statusLine,
              "HTTP/1.0 404 Not Found");
}

TEST(Startup, PortInUseIsReportedAndTheExitStatusIsNonZero) {
    TempDir root;
    int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const int port = FreePort();
    address.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);

    ServerProcess server({.root = root.Path(), .port = port});
    EXPECT_NE(server.Wait(), 0);
    EXPECT_NE(server.Stderr().find("Port " + std::to_string(port) + " is already in use!\nChoose another port with "
                                   "--port N, or set Port in " + server.SettingsFile() + "."),
              std::string::npos)
        << server.Stderr();
    EXPECT_EQ(server.Stdout(), "") << "no address is shown where nobody can be reached";
    ::close(blocker);
}

TEST(Startup, SigtermAndSigintEndTheProgramWithStatusZeroPromptly) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        TempDir root;
        ServerProcess server({.root = root.Path()});
        ASSERT_TRUE(server.WaitUntilListening());
        const auto start = std::chrono::steady_clock::now();
        ::kill(server.Pid(), signal);
        EXPECT_EQ(server.Wait(), 0);
        // Not a speed test: a hang would be seconds, not milliseconds.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        // After StopServer nobody listens any more.
        EXPECT_EQ(RawExchange(server.Port(), "GET / HTTP/1.0\r\n\r\n"), "");
    }
}

TEST(Startup, ASecondInstanceWithTheSameSettingsFileRefusesToRun) {
    TempDir root, scratch;
    const std::string settings = scratch.Path() + "/settings.toml";
    ServerProcess first({.root = root.Path(), .settings = settings});
    ASSERT_TRUE(first.WaitUntilListening());
    ServerProcess second({.root = root.Path(), .settings = settings});
    EXPECT_NE(second.Wait(), 0);
    EXPECT_NE(second.Stderr().find("already running"), std::string::npos) << second.Stderr();

    ServerProcess other({.root = root.Path(), .settings = scratch.Path() + "/other.toml"});
    EXPECT_TRUE(other.WaitUntilListening()) << other.Stderr();
}

TEST(Startup, ASettingsFileThatDoesNotParseIsMovedAsideAndDefaultsApply) {
    TempDir root, scratch;
    const std::string broken = "Port = = 12\n[[[\n";
    const std::string settings = scratch.Write("settings.toml", broken);
    ServerProcess server({.root = root.Path(), .settings = settings});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_NE(server.Stderr().find("does not parse"), std::string::npos) << server.Stderr();
    bool foundAside = false;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.Path())) {
        if (entry.path().filename().string().rfind("settings.toml.bad-", 0) == 0) {
            foundAside = true;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            EXPECT_EQ(text.str(), broken);
        }
    }
    EXPECT_TRUE(foundAside);
    toml::table fresh = toml::parse_file(settings);
    EXPECT_EQ(fresh["Port"].value<int64_t>(), 8080);
}

}  // namespace
}  // namespace tarnhollow::test
