// The X display connection: a display that does not answer is not asked again on the
// very next use, since with a remote display every attempt costs a connection time-out.
#include "platform/XDisplayConnection.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/Xvfb.h"

namespace tarnhollow::test {
namespace {

TEST(XDisplayConnection, AFailedOpenIsNotTriedAgainAtOnce) {
    // A display of the test's own that hangs up on every client, counting them.
    const int number = 400 + ::getpid() % 100;
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path << " is taken";
    ASSERT_EQ(::listen(listener, 8), 0);
    std::atomic<int> attempts{0};
    std::thread hangUp([&] {
        for (int client; (client = ::accept(listener, nullptr, nullptr)) >= 0; ::close(client)) ++attempts;
    });
    {
        ScopedDisplayVariable display(":" + std::to_string(number));
        XDisplayConnection connection;
        EXPECT_EQ(connection.Get(), nullptr);
        const int first = attempts.load();
        EXPECT_GE(first, 1);
        EXPECT_EQ(connection.Get(), nullptr);
        EXPECT_EQ(attempts.load(), first);
    }
    ::shutdown(listener, SHUT_RDWR);
    hangUp.join();
    ::close(listener);
    ::unlink(path.c_str());
}

}  // namespace
}  // namespace tarnhollow::test
