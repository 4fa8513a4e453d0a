// The real binary against clients that reset, half-close, never read, keep sending or
// hold many connections, and against document roots it must refuse or keep apart.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

constexpr size_t kBigFile = 32 << 20;

// A settings file that has already installed the demo of every version.
std::string NoDemoSettings(const TempDir& scratch, const std::string& more = "") {
    return scratch.Write("settings.toml", "CreateDemo = 4294967295\n" + more);
}

void SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string ReadToEnd(int fd) {
    std::string received;
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) received.append(buffer, static_cast<size_t>(n));
    return received;
}

// Whether bytes (or the end) arrive on `fd` within `milliseconds`.
bool Answers(int fd, int milliseconds) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) == 1;
}

// Whether the small file is served within a few seconds: the server notices closed
// connections on its own time.
bool ServesAgain(int port) {
    for (int i = 0; i < 100; ++i) {
        if (Get(port, "/a.bin").body == "small") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class HostileClient : public ::testing::Test {
protected:
    void SetUp() override {
        root_.Write("a.bin", "small");
        root_.Write("big.dat", std::string(kBigFile, 'b'));
    }
    TempDir root_, scratch_;
};

TEST_F(HostileClient, AResetInTheMiddleOfADownloadDoesNotEndTheServer) {
    ServerProcess server({.root = root_.Path(), .settings = NoDemoSettings(scratch_)});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    for (int i = 0; i < 3; ++i) {
        const int fd = Connect(server.Port());
        SendAll(fd, "GET /big.dat HTTP/1.0\r\n\r\n");
        char some[4096];
        ASSERT_GT(::recv(fd, some, sizeof some, 0), 0);
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }
    EXPECT_EQ(Get(server.Port(), "/a.bin").body, "small");
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(HostileClient, AClientThatEndsItsSendingAfterTheRequestGetsTheWholeAnswer) {
    ServerProcess server({.root = root_.Path(), .settings = NoDemoSettings(scratch_)});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    const int fd = Connect(server.Port());
    SendAll(fd, "GET /big.dat HTTP/1.0\r\n\r\n");
    ::shutdown(fd, SHUT_WR);
    // Not reading for a while fills the socket buffers, so the server waits to send
    // while the end of the request's direction is already there.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Response answer = ParseResponse(ReadToEnd(fd));
    ::close(fd);
    EXPECT_EQ(answer.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(answer.body.size(), kBigFile);
}

TEST_F(HostileClient, AnOversizedRequestStillReceivesItsAnswerBeforeTheClose) {
    ServerProcess server({.root = root_.Path(), .settings = NoDemoSettings(scratch_)});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    const int fd = Connect(server.Port());
    // Far more header than the server reads: it answers 400 while the rest still comes.
    std::thread sender([fd] {
        SendAll(fd, "GET /a.txt HTTP/1.0\r\n");
        const std::string line = "X-Pad: " + std::string(1000, 'p') + "\r\n";
        for (int i = 0; i < 600; ++i) SendAll(fd, line);
        ::shutdown(fd, SHUT_WR);
    });
    // Read late, as a busy client would: a reset arriving first would destroy the answer.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string received = ReadToEnd(fd);
    sender.join();
    ::close(fd);
    EXPECT_EQ(ParseResponse(received).statusLine, "HTTP/1.0 400 Bad Request");
}

TEST_F(HostileClient, AClientThatKeepsSendingInsteadOfReadingIsCutOff) {
    ServerProcess server({.root = root_.Path(), .settings = NoDemoSettings(scratch_)});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    const int fd = Connect(server.Port());
    SendAll(fd, "GET /big.dat HTTP/1.0\r\n\r\n");
    const std::string junk(64 * 1024, 'j');
    bool cutOff = false;
    // 64 MiB at most: a server that discards without bound takes it all.
    for (int i = 0; i < 1024 && !cutOff; ++i) cutOff = ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL) < 0;
    ::close(fd);
    EXPECT_TRUE(cutOff);
    EXPECT_EQ(Get(server.Port(), "/a.bin").body, "small");
}

TEST_F(HostileClient, ConnectionsAreBoundedInAllAndPerClient) {
    struct Row {
        const char* description;
        const char* setting;
        bool laterOneWaits;  // else it is closed without an answer
    };
    const Row rows[] = {
        {"past the bound a connection waits in the backlog", "MaxConnections = 3\n", true},
        {"past a client's share a connection is closed", "MaxConnectionsPerClient = 3\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        TempDir scratch;
        ServerProcess server({.root = root_.Path(), .settings = NoDemoSettings(scratch, row.setting)});
        ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
        std::vector<int> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(Connect(server.Port()));
            SendAll(held.back(), "GET /a.txt HTTP/1.0\r\n");
        }
        const int later = Connect(server.Port());
        SendAll(later, "GET /a.bin HTTP/1.0\r\n\r\n");
        if (row.laterOneWaits) {
            EXPECT_FALSE(Answers(later, 300));
            ::close(held[0]);
            EXPECT_EQ(ParseResponse(ReadToEnd(later)).body, "small");
        } else {
            EXPECT_EQ(ReadToEnd(later), "");
        }
        ::close(later);
        for (int fd : held) ::close(fd);
        EXPECT_TRUE(ServesAgain(server.Port()));
    }
}

TEST_F(HostileClient, TheFileSystemRootCanBeServed) {
    ServerProcess server({.root = "/", .settings = NoDemoSettings(scratch_)});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    EXPECT_EQ(Get(server.Port(), root_.Path() + "/a.bin").body, "small");
}

TEST_F(HostileClient, ARootThatIsNoFolderIsRefusedAtStart) {
    const std::string file = root_.Path() + "/a.bin";
    for (const std::string& root : {file, file + "/sub"}) {
        SCOPED_TRACE(root);
        TempDir scratch;
        ServerProcess server({.root = root, .settings = NoDemoSettings(scratch)});
        EXPECT_NE(server.Wait(), 0);
        EXPECT_NE(server.Stderr().find(root), std::string::npos) << server.Stderr();
        EXPECT_EQ(server.Stdout(), "");
    }
}

TEST_F(HostileClient, TheDemoGoesOnlyIntoAnEmptyOrNewFolder) {
    root_.Write("index.html", "mine");
    ServerProcess mine({.root = root_.Path()});
    ASSERT_TRUE(mine.WaitUntilListening()) << mine.Stderr();
    EXPECT_EQ(root_.Read("index.html"), "mine");
    EXPECT_FALSE(std::filesystem::exists(root_.Path() + "/demo"));
    EXPECT_NE(mine.Stderr().find("CreateDemo = 0"), std::string::npos) << mine.Stderr();

    TempDir empty;
    ServerProcess fresh({.root = empty.Path() + "/new"});
    ASSERT_TRUE(fresh.WaitUntilListening()) << fresh.Stderr();
    EXPECT_TRUE(std::filesystem::exists(empty.Path() + "/new/demo/index.html"));
}

}  // namespace
}  // namespace tarnhollow::test
