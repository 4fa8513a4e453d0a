// The datagram socket on a real event loop: readiness to send, then a datagram that
// crosses 127.0.0.1 and arrives with its sender.
#include "platform/AsyncDatagram.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <string>

namespace tarnhollow::test {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

class DatagramProbe : public AsyncDatagram {
public:
    using AsyncDatagram::AsyncDatagram;
    std::function<void()> whenWritable;
    std::string received;
    Ipv4Endpoint sender;

protected:
    void OnReceive(int) override {
        char buffer[64];
        const long n = ReceiveFrom(buffer, sizeof buffer, sender);
        if (n >= 0) received.assign(buffer, static_cast<size_t>(n));
    }
    void OnSend(int) override {
        if (whenWritable) whenWritable();
    }
};

// Runs the loop until `done` holds, for ten seconds at the most.
void RunUntil(asio::io_context& io, const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < giveUp) {
        io.run_for(std::chrono::milliseconds(50));
        io.restart();
    }
}

TEST(AsyncDatagram, ExchangesADatagramOnLoopbackThroughTheEventLoop) {
    asio::io_context io;
    DatagramProbe receiver(io), sender(io);
    int error = 0;
    ASSERT_TRUE(receiver.Open(0, error)) << error;
    ASSERT_TRUE(sender.Open(0, error)) << error;
    ASSERT_NE(receiver.LocalPort(), 0);
    ASSERT_NE(receiver.LocalPort(), sender.LocalPort());

    long sent = -2;
    sender.whenWritable = [&] { sent = sender.SendTo("ping", 4, {kLoopback, receiver.LocalPort()}); };
    receiver.Select(AsyncSocket::kRead);
    sender.Select(AsyncSocket::kWrite);
    RunUntil(io, [&] { return !receiver.received.empty(); });

    EXPECT_EQ(sent, 4);
    EXPECT_EQ(receiver.received, "ping");
    EXPECT_EQ(receiver.sender, (Ipv4Endpoint{kLoopback, sender.LocalPort()}));
}

TEST(AsyncDatagram, ReceiveWithNothingThereSaysWouldBlock) {
    asio::io_context io;
    AsyncDatagram socket(io);
    int error = 0;
    ASSERT_TRUE(socket.Open(0, error)) << error;
    char buffer[8];
    Ipv4Endpoint from;
    EXPECT_EQ(socket.ReceiveFrom(buffer, sizeof buffer, from), -1);
    EXPECT_TRUE(socket.LastError() == EAGAIN || socket.LastError() == EWOULDBLOCK);
    socket.Close();
    EXPECT_EQ(socket.LocalPort(), 0);
}

}  // namespace
}  // namespace tarnhollow::test
