// Folder passwords, byte ranges, IPv6 clients and the access log through the real
// binary on loopback; and a video that seeks in headless Chromium through ranges.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/TestSupport.h"
#include "support/WebDriver.h"

namespace tarnhollow::test {
namespace {

// Made once with libxcrypt (crypt_gensalt, crypt), as htpasswd -B writes bcrypt.
constexpr char kPassFile[] =
    "# users of this folder\n"
    "b:$2y$05$EejF1hdQDG6rG7xRW/VS0u8KP5vCAd64Q3dDrFuzOn/HyWPPrEWOu\n"  // bcrypt-pw
    "y:$y$j9T$h3cUs/1SJVgFISyOf8.jx.$A/apvY.sGQqlxur9yBePE.VPQ3c2Uw1.vLiA6HNY8y7\n"  // yescrypt-pw
    "s:$6$tfdpSMnqAQpCOPMB$9zIA6Yu4NCkBTn8meriybnZOiVY.X3x9QMudKMDcFssqfUkZfA1W1Km.YBhZbtRI2jbye7o96.knyX0tccr0D1\n"
    "m:plain-text-is-not-a-hash\n";  // sha512-pw for s; the line of m is skipped
constexpr char kDemoPass[] = "demo:$2y$05$OPvOjup27rJJMMfCtYl3Oe8jHIT0ATA.Qi6W6vRuqfzS35OE/j442\n";

std::string Basic(const std::string& userColonPassword) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (unsigned char c : userColonPassword) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) out += kAlphabet[(bits >> (count -= 6)) & 63];
    }
    if (count > 0) out += kAlphabet[(bits << (6 - count)) & 63];
    while (out.size() % 4) out += '=';
    return "Authorization: Basic " + out + "\r\n";
}

// A connection to [::1]:port; -1 when the machine has no IPv6 loopback.
int Connect6(int port) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in6 address{.sin6_family = AF_INET6, .sin6_port = htons(static_cast<uint16_t>(port)), .sin6_addr = in6addr_loopback};
    timeval timeout{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

void SendAll(int fd, const std::string& bytes) { ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }

std::string ReadToEnd(int fd) {
    std::string out;
    char buffer[16384];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) out.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return out;
}

bool HasIpv6Loopback(int port) {
    const int fd = Connect6(port);
    return fd >= 0 && ::close(fd) == 0;
}

std::string Get6(int port, const std::string& path, const std::string& headers = "") {
    const int fd = Connect6(port);
    if (fd < 0) return std::string();
    SendAll(fd, "GET " + path + " HTTP/1.0\r\n" + headers + "\r\n");
    return ReadToEnd(fd);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The log's lines once it holds at least `count` (written as each exchange ends, which
// may be just after the client has read its answer).
std::vector<std::string> WaitForLines(const std::string& path, size_t count) {
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i) {
        lines.clear();
        std::istringstream text(ReadFile(path));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        if (lines.size() >= count) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines;
}

class Access : public ::testing::Test {
protected:
    void SetUp() override {
        // A .pass that is a folder (locked/.pass/x) cannot be read, for root as for anyone.
        for (const auto& [path, bytes] : std::initializer_list<std::pair<const char*, std::string>>{
                 {"open.txt", "open"}, {"open.bin", "open"}, {"priv/file.bin", "private bytes"},
                 {"priv/one/two/deep.bin", "deep bytes"}, {"priv/.pass", kPassFile}, {"RemoteControl/.pass", kDemoPass},
                 {"RemoteControl/index.html", "<html><body>keys</body></html>"}, {"ScreenShot/.pass", kDemoPass},
                 {"ScreenShot/screenshot.png", "placeholder"}, {"locked/.pass/x", ""}, {"locked/file.bin", "locked"},
                 {"notes.txt", "one\r\n\r\ntwo"}}) {
            root_.Write(path, bytes);
        }
        // A link from an open folder to a protected file is no way around its password.
        ASSERT_EQ(::symlink("priv/file.bin", (root_.Path() + "/link.bin").c_str()), 0);
        for (int i = 0; i < 100000; ++i) body_ += static_cast<char>('a' + (i * 7) % 26);
        root_.Write("data.bin", body_);
        log_ = scratch_.Path() + "/access.log";
        const std::string settings =
            scratch_.Write("settings.toml", "CreateDemo = 4294967295\nAccessLog = \"" + log_ + "\"\n");
        server_ = std::make_unique<ServerProcess>(ServerProcess::Options{.root = root_.Path(), .settings = settings});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
    }
    int Port() const { return server_->Port(); }

    TempDir root_;
    TempDir scratch_;
    std::string body_;
    std::string log_;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(Access, PasswordsOfEachKindProtectFoldersBelowTheirPass) {
    struct Row { const char* description; const char* path; std::string headers; const char* statusLine, *realm, *body; };
    const Row rows[] = {
        {"no credentials", "/priv/file.bin", "", "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {"wrong password", "/priv/file.bin", Basic("b:bcrypt-PW"), "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {"bcrypt", "/priv/file.bin", Basic("b:bcrypt-pw"), "HTTP/1.0 200 OK", "", "private bytes"},
        {"yescrypt", "/priv/file.bin", Basic("y:yescrypt-pw"), "HTTP/1.0 200 OK", "", "private bytes"},
        {"SHA-512 crypt", "/priv/file.bin", Basic("s:sha512-pw"), "HTTP/1.0 200 OK", "", "private bytes"},
        {"bcrypt again, remembered", "/priv/file.bin", Basic("b:bcrypt-pw"), "HTTP/1.0 200 OK", "", "private bytes"},
        {"a malformed line is skipped", "/priv/file.bin", Basic("m:plain-text-is-not-a-hash"),
         "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {"a password too long to check", "/priv/file.bin", Basic("b:" + std::string(2000, 'x')),
         "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {".pass two levels up", "/priv/one/two/deep.bin", "", "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {".pass two levels up, with a password", "/priv/one/two/deep.bin", Basic("s:sha512-pw"), "HTTP/1.0 200 OK", "",
         "deep bytes"},
        {"a link into the folder", "/link.bin", "", "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {"an encoded way round", "/open.txt/..%2F.%2fpriv%2Ffile.bin", "", "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {"a missing file tells nothing", "/priv/nothing.bin", "", "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {"the folder's listing", "/priv/", "", "HTTP/1.0 401 Unauthorized", "/priv", nullptr},
        {"the .pass itself stays hidden", "/priv/.pass", Basic("b:bcrypt-pw"), "HTTP/1.0 200 OK", "",
         "<h1> Cannot Show Hidden Files and Root Directories</h1>"},
        {"an unreadable .pass refuses everyone", "/locked/file.bin", Basic("b:bcrypt-pw"), "HTTP/1.0 403 Forbidden", "",
         "403 Forbidden"},
        {"the remote control", "/RemoteControl/index.html?value=Home", "", "HTTP/1.0 401 Unauthorized",
         "/RemoteControl", nullptr},
        {"the remote control, with a password", "/RemoteControl/index.html?value=Home", Basic("demo:demo"),
         "HTTP/1.0 302 Redirection", "", ""},
        {"the screenshot", "/ScreenShot/screenshot.png", "", "HTTP/1.0 401 Unauthorized", "/ScreenShot", nullptr},
        {"the screenshot, with a password", "/ScreenShot/screenshot.png", Basic("demo:demo"), "HTTP/1.0 200 OK", "",
         nullptr},
        {"an unprotected file", "/open.txt", "", "HTTP/1.0 200 OK", "", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        const Response response = Get(Port(), row.path, row.headers);
        EXPECT_EQ(response.statusLine, row.statusLine);
        const std::string challenge = *row.realm ? std::string("Basic realm=\"") + row.realm + "\", charset=\"UTF-8\"" : "";
        EXPECT_EQ(response.Header("WWW-Authenticate"), challenge);
        if (row.body) {
            EXPECT_EQ(response.body, row.body);
        }
    }
}

TEST_F(Access, FailedLoginsDelayThatClientOnlyWithoutHoldingTheServer) {
    if (!HasIpv6Loopback(Port())) GTEST_SKIP() << "no IPv6 loopback";
    // Five failures from ::1; the other client, 127.0.0.1, has none.
    for (int i = 0; i < 5; ++i) {
        EXPECT_NE(Get6(Port(), "/priv/file.bin", Basic("b:guess" + std::to_string(i))).find(" 401 "), std::string::npos);
    }
    // Each further failure doubles the wait (1, 2, 4 s), so a loaded machine that stalls
    // through one wait is outlasted by the next.
    bool overtaken = false;
    for (int attempt = 0; attempt < 3 && !overtaken; ++attempt) {
        const int waiting = Connect6(Port());
        ASSERT_GE(waiting, 0);
        SendAll(waiting, "GET /priv/file.bin HTTP/1.0\r\n" + Basic("b:guess") + "\r\n");
        const Response other = Get(Port(), "/priv/file.bin", Basic("b:bcrypt-pw"));
        EXPECT_EQ(other.statusLine, "HTTP/1.0 200 OK");
        pollfd ready{waiting, POLLIN, 0};
        overtaken = ::poll(&ready, 1, 0) == 0;
        EXPECT_EQ(ParseResponse(ReadToEnd(waiting)).statusLine, "HTTP/1.0 401 Unauthorized");
    }
    EXPECT_TRUE(overtaken) << "the waiting client was answered before the other one";
    EXPECT_NE(server_->Stderr().find("Failed logins from ::1"), std::string::npos) << server_->Stderr();
}

TEST_F(Access, OneByteRangeOfAPlainFile) {
    struct Row { const char* range; const char* statusLine; const char* contentRange; long long first, length; };  // length -1: all
    const Row rows[] = {
        {"bytes=0-9", "HTTP/1.0 206 Partial Content", "bytes 0-9/100000", 0, 10},
        {"bytes=99990-", "HTTP/1.0 206 Partial Content", "bytes 99990-99999/100000", 99990, 10},
        {"bytes=-5", "HTTP/1.0 206 Partial Content", "bytes 99995-99999/100000", 99995, 5},
        {"bytes=20000-89999", "HTTP/1.0 206 Partial Content", "bytes 20000-89999/100000", 20000, 70000},
        {"bytes=50000-200000", "HTTP/1.0 206 Partial Content", "bytes 50000-99999/100000", 50000, 50000},
        {"bytes=100000-", "HTTP/1.0 416 Range Not Satisfiable", "bytes */100000", 0, 0},
        {"bytes=0-1,5-6", "HTTP/1.0 200 OK", "", 0, -1},
        {"bytes=9-1", "HTTP/1.0 200 OK", "", 0, -1},
        {"lines=1-2", "HTTP/1.0 200 OK", "", 0, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.range);
        const Response response = Get(Port(), "/data.bin", std::string("Range: ") + row.range + "\r\n");
        EXPECT_EQ(response.statusLine, row.statusLine);
        EXPECT_EQ(response.Header("Content-Range"), row.contentRange);
        if (row.length == 0) {
            EXPECT_EQ(response.body, "416 Range Not Satisfiable");
            continue;
        }
        const std::string expected = row.length < 0 ? body_ : body_.substr(row.first, row.length);
        EXPECT_EQ(response.Header("Accept-Ranges"), "bytes");
        EXPECT_EQ(response.Header("Content-Length"), std::to_string(expected.size()));
        EXPECT_TRUE(response.body == expected) << "body of " << response.body.size() << " bytes";
    }
    // A built page is never cut.
    const Response page = Get(Port(), "/notes.txt", "Range: bytes=0-1\r\n");
    EXPECT_EQ(page.statusLine, "HTTP/1.0 200 OK");
    EXPECT_FALSE(page.HasHeader("Accept-Ranges"));
    EXPECT_NE(page.body.find("one<p>two"), std::string::npos);
}

TEST_F(Access, AnIPv6ClientAndALogLineForEachKindOfAnswerReopenedOnHangup) {
    const bool ipv6 = HasIpv6Loopback(Port());
    if (ipv6) {
        EXPECT_EQ(ParseResponse(Get6(Port(), "/open.bin")).statusLine, "HTTP/1.0 200 OK");
    }
    Get(Port(), "/data.bin", "Range: bytes=0-9\r\nReferer: http://127.0.0.1/?password=hunter2\r\nUser-Agent: T\"1\r\n");
    Get(Port(), "/priv/file.bin?pass=secret1&x=1", Basic("b:bcrypt-pw"));
    Get(Port(), "/priv/file.bin", Basic("b:wrong-secret"));
    Get(Port(), "/missing.bin");
    RawExchange(Port(), "BREW /pot HTTP/1.0\r\n\r\n");
    const std::vector<std::string> lines = WaitForLines(log_, ipv6 ? 6 : 5);
    std::vector<std::string> expected = {
        "127.0.0.1 - - [<date>] \"GET /data.bin HTTP/1.0\" 206 10 \"http://127.0.0.1/?password=*\" \"T\\\"1\"",
        "127.0.0.1 - b [<date>] \"GET /priv/file.bin?pass=*&x=1 HTTP/1.0\" 200 13 \"-\" \"-\"",
        "127.0.0.1 - - [<date>] \"GET /priv/file.bin HTTP/1.0\" 401 202 \"-\" \"-\"",
        "127.0.0.1 - - [<date>] \"GET /missing.bin HTTP/1.0\" 404 13 \"-\" \"-\"",
        "127.0.0.1 - - [<date>] \"BREW /pot HTTP/1.0\" 501 19 \"-\" \"-\"",
    };
    if (ipv6) expected.insert(expected.begin(), "::1 - - [<date>] \"GET /open.bin HTTP/1.0\" 200 4 \"-\" \"-\"");
    ASSERT_EQ(lines.size(), expected.size()) << ReadFile(log_);
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t open = lines[i].find('['), close = lines[i].find(']');
        ASSERT_NE(close, std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].substr(0, open + 1) + "<date>" + lines[i].substr(close), expected[i]);
    }
    const std::string text = ReadFile(log_);
    for (const char* secret : {"hunter2", "secret1", "wrong-secret", "YjpiY3J5cHQtcHc"}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
    }
    // Rotation: the file is moved away, SIGHUP opens a new one under the name.
    ASSERT_EQ(std::rename(log_.c_str(), (log_ + ".1").c_str()), 0);
    ASSERT_EQ(::kill(server_->Pid(), SIGHUP), 0);
    struct stat info {};
    for (int i = 0; i < 1000 && ::stat(log_.c_str(), &info) != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Get(Port(), "/open.txt");
    EXPECT_EQ(WaitForLines(log_, 1).size(), 1u);
    EXPECT_EQ(WaitForLines(log_ + ".1", 0).size(), expected.size());
}

// A video in the document root seeks to its middle in Chromium, through range requests.
TEST_F(Access, AVideoSeeksToItsMiddleInChromium) {
    if (::access(kChromeDriver, X_OK) != 0) GTEST_SKIP() << kChromeDriver << " is not installed";
    root_.Write("seek.webm", ReadFile(std::string(TARNHOLLOW_SOURCE_DIR) + "/tests/blackbox/media/seek.webm"));
    root_.Write("video.html", "<html><body><video src=\"/seek.webm\" preload=\"metadata\" muted></video></body></html>");
    WebDriver browser(640, 480);
    ASSERT_TRUE(browser.Ok()) << browser.Log();
    ASSERT_TRUE(browser.Navigate("http://127.0.0.1:" + std::to_string(Port()) + "/video.html")) << browser.Log();
    const std::string result = browser.ExecuteAsync(R"(
        const done = arguments[arguments.length - 1];
        const video = document.querySelector('video');
        video.addEventListener('error', () => done('error ' + (video.error && video.error.code)));
        const seek = () => {
            video.addEventListener('seeked', () => done(video.currentTime / video.duration), {once: true});
            video.currentTime = video.duration / 2;
        };
        if (video.readyState >= 1) seek(); else video.addEventListener('loadedmetadata', seek, {once: true});
    )");
    ASSERT_FALSE(result.empty()) << browser.Log();
    EXPECT_NEAR(std::stod(result), 0.5, 0.05) << result;
    bool ranged = false;
    for (const std::string& line : WaitForLines(log_, 2)) {
        ranged = ranged || (line.find("GET /seek.webm") != std::string::npos && line.find("\" 206 ") != std::string::npos);
    }
    EXPECT_TRUE(ranged) << ReadFile(log_);
}

}  // namespace
}  // namespace tarnhollow::test
