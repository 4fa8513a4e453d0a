// The directory host end to end: the real server registers its dynamic DNS name with the
// real tarnhollow-directory on 127.0.0.1; browsers' requests through the directory host
// get byte for byte what the server answers over TCP; unknown and expired names get the
// 404 page; NearMe positions from updates and from the server's own GPS fix come back
// nearest first and show on the demo's NearMe page in headless Chromium.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <string>

#include "gps/FakeReceivers.h"
#include "ddns/FakeUpdateServer.h"
#include "net/Addresses.h"
#include "support/Chromium.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// tarnhollow-directory on free ports of 127.0.0.1, stopped with SIGTERM when it goes.
class DirectoryProcess {
public:
    explicit DirectoryProcess(const std::string& folder, int periodMilliseconds) : out_(folder + "/directory.out") {
        std::vector<std::string> args = {TARNHOLLOW_DIRECTORY_BINARY, "--udp-port", "0", "--http-port", "0",
                                         "--bind", "127.0.0.1", "--db", folder + "/positions.sqlite",
                                         "--period", std::to_string(periodMilliseconds)};
        pid_ = ::fork();
        if (pid_ == 0) {
            // Ends with the test even when the test cannot stop it.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(out, 2);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        // The matches point into `out`, which outlives them.
        std::string out;
        std::smatch ports;
        const std::regex statusLine("UDP port ([0-9]+), browsers on HTTP port ([0-9]+)");
        WaitUntil([&] { return std::regex_search(out = Stdout(), ports, statusLine); });
        if (ports.size() == 3) {
            udpPort_ = std::stoi(ports[1]);
            httpPort_ = std::stoi(ports[2]);
        }
    }
    ~DirectoryProcess() {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
    }
    int UdpPort() const { return udpPort_; }
    int HttpPort() const { return httpPort_; }
    std::string Stdout() const {
        std::ifstream in(out_);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool WaitForText(const std::string& text) {
        return WaitUntil([&] { return Stdout().find(text) != std::string::npos; }, 20);
    }

private:
    std::string out_;
    pid_t pid_ = -1;
    int udpPort_ = 0, httpPort_ = 0;
};

// The answer without its Date line, which may differ by a second.
std::string WithoutDate(std::string answer) {
    const size_t date = answer.find("\r\nDate: ");
    if (date != std::string::npos) answer.erase(date, answer.find("\r\n", date + 2) - date);
    return answer;
}

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The public name comes from the dynamic DNS update, which needs an address.
        if (SelectAdapterAddress().empty()) GTEST_SKIP() << "this machine has no address but loopback";
        directory = std::make_unique<DirectoryProcess>(scratch.Path(), 1000);
        ASSERT_NE(directory->HttpPort(), 0) << directory->Stdout();
        root.Write("page.txt", "A page built into the file template\n");
        root.Write("folder/one.txt", "one\n");
        root.Write("folder/two.bin", "two\n");
        std::string big(40000, '\0');
        for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
        root.Write("big.bin", big);
        const std::string settings = scratch.Write(
            "settings.toml",
            "Name = 'abc'\nDomain = 'homeip.net'\nUser = 'me'\nPass = 'right'\nServiceHost = '127.0.0.1'\n"
            "DNS_UpdateHost = '" + updateServer.Host() + "'\nNMEAPortTemplate = '" + receiver.Name() + "'\n"
            "GpsNearMeURL = 'http://127.0.0.1:" + std::to_string(directory->HttpPort()) +
                "/nearme/update.php?server=%s&time=%d&lon=%f&lat=%f&port=%d'\n"
            "ServicePort = " + std::to_string(directory->UdpPort()) + "\nServicePeriod = 200\n");
        server = std::make_unique<ServerProcess>(ServerProcess::Options{.root = root.Path(), .settings = settings});
        ASSERT_TRUE(server->WaitUntilListening());
        ASSERT_TRUE(directory->WaitForText("registered abc.homeip.net at 127.0.0.1:")) << directory->Stdout();
    }
    std::string ThroughDirectory(const std::string& request) { return RawExchange(directory->HttpPort(), request); }

    TempDir scratch, root;
    PtyReceiver receiver;
    FakeUpdateServer updateServer{[](const FakeUpdateServer::Request&) {
        return FakeUpdateServer::Answer{200, "good 192.0.2.1"};
    }};
    std::unique_ptr<DirectoryProcess> directory;
    std::unique_ptr<ServerProcess> server;
};

TEST_F(DirectoryTest, BrowsersGetThroughTheDirectoryHostWhatTheServerAnswersOverTcp) {
    struct Case { const char* what; std::string request; };
    const Case cases[] = {
        {"a built page", "GET /page.txt HTTP/1.0\r\nHost: abc.homeip.net\r\n\r\n"},
        {"a listing, Host with port and in capitals", "GET /folder/ HTTP/1.0\r\nHost: ABC.HomeIP.net:8080\r\n\r\n"},
        {"a static file", "GET /folder/two.bin HTTP/1.0\r\nHost: abc.homeip.net\r\n\r\n"},
        {"40000 bytes in three messages", "GET /big.bin HTTP/1.0\r\nHost: abc.homeip.net\r\n\r\n"},
        {"a POST with its body", "POST /page.txt HTTP/1.0\r\nHost: abc.homeip.net\r\nContent-Length: 5\r\n\r\nx=yz!"},
        {"a missing file", "GET /none.txt HTTP/1.0\r\nHost: abc.homeip.net\r\n\r\n"},
    };
    for (const Case& c : cases) {
        const std::string overTcp = RawExchange(server->Port(), c.request);
        ASSERT_FALSE(overTcp.empty()) << c.what;
        EXPECT_EQ(WithoutDate(ThroughDirectory(c.request)), WithoutDate(overTcp)) << c.what;
    }
    EXPECT_EQ(ParseResponse(ThroughDirectory("GET /big.bin HTTP/1.0\r\nHost: abc.homeip.net\r\n\r\n")).body,
              root.Read("big.bin"));
}

TEST_F(DirectoryTest, UnknownAndExpiredNamesGetTheNotFoundPage) {
    const std::string page =
        "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n<body><h1>404 Not Found</h1>\n"
        "<p>No device named &quot;nobody.homeip.net&quot; is registered with this directory host.</p></body></html>\n";
    EXPECT_EQ(ThroughDirectory("GET / HTTP/1.0\r\nHost: nobody.homeip.net\r\n\r\n"),
              "HTTP/1.0 404 Not Found\r\nServer: tarnhollow-directory\r\nContent-Type: text/html; charset=utf-8\r\n"
              "Content-Length: " + std::to_string(page.size()) + "\r\nCache-Control: no-store\r\n\r\n" + page);

    EXPECT_EQ(server->Stop(), 0);
    ASSERT_TRUE(directory->WaitForText("expired abc.homeip.net\n")) << directory->Stdout();
    EXPECT_EQ(ParseResponse(ThroughDirectory("GET / HTTP/1.0\r\nHost: abc.homeip.net\r\n\r\n")).statusLine,
              "HTTP/1.0 404 Not Found");
}

TEST_F(DirectoryTest, NearMeListsTheServersNearestFirstAndTheDemoPageShowsThem) {
    const int port = directory->HttpPort();
    const auto update = [port](const std::string& query) {
        return ParseResponse(RawExchange(port, "GET /nearme/update.php?" + query + " HTTP/1.0\r\n\r\n")).statusLine;
    };
    EXPECT_EQ(update("server=far.example.org&time=101500&lon=13.4&lat=52.52&port=80"), "HTTP/1.0 200 OK");
    EXPECT_EQ(update("server=near.example.org&time=235959&lon=11.6&lat=48.14&port=8080"), "HTTP/1.0 200 OK");
    EXPECT_EQ(update("server=near.example.org&time=246000&lon=11.6&lat=48.14&port=80"), "HTTP/1.0 400 Bad Request");
    // The server's own fix reaches the directory host through its NearMe update.
    ASSERT_TRUE(receiver.Send(Sentence(kExampleBody)));
    const std::string query =
        "GET /nearme/request.php?time=3600&max=20&prec=2&lon=11.516667&lat=48.1173 HTTP/1.0\r\n\r\n";
    Response nearest;
    ASSERT_TRUE(WaitUntil([&] {
        return (nearest = ParseResponse(RawExchange(port, query))).body.find("abc.homeip.net") != std::string::npos;
    }));
    EXPECT_EQ(nearest.Header("Content-Type"), "application/javascript; charset=utf-8");
    EXPECT_EQ(nearest.body,
              "var latitudes = [48.12, 48.14, 52.52];\n"
              "var longitudes = [11.52, 11.60, 13.40];\n"
              "var times = [\"12:35:19 UTC\", \"23:59:59 UTC\", \"10:15:00 UTC\"];\n"
              "var servers = [\"abc.homeip.net\", \"near.example.org:8080\", \"far.example.org\"];\n");

    // The demo's NearMe page, pointed at this directory host, lists them.
    const std::string demo = TARNHOLLOW_SOURCE_DIR "/resources/demo/NearMe/index.html";
    std::ifstream in(demo);
    std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string host = "\"nearme.example.net\"";
    ASSERT_NE(page.find(host), std::string::npos);
    page.replace(page.find(host), host.size(), "\"127.0.0.1:" + std::to_string(port) + "\"");
    root.Write("NearMe/index.html", page);
    const std::string url = "http://127.0.0.1:" + std::to_string(server->Port()) + "/NearMe/index.html";
    const BrowserRun run = RunChromium(url, 5000);
    ASSERT_TRUE(run.finished) << run.log;
    const size_t first = run.dom.find(">abc.homeip.net</a>");
    const size_t second = run.dom.find(">near.example.org:8080</a>");
    const size_t third = run.dom.find(">far.example.org</a>");
    EXPECT_NE(first, std::string::npos) << run.dom;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(third, std::string::npos);
}

}  // namespace
}  // namespace tarnhollow::test
