// The UDP side against a device played datagram by datagram on 127.0.0.1: registration
// acknowledgements, the opening retransmitted and failing, answers acknowledged in
// order, held back for a lagging browser, and channels the directory host gave up.
#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include "directory/DeviceLink.h"
#include "relay/ScriptedDirectoryHost.h"

namespace tarnhollow::directory {
namespace {

using relay::DatagramHeader;
using test::ScriptedDirectoryHost;

struct RecordingSink : ChannelSink {
    void OnChannelFailed(int status) override { failed = status; }
    void OnAnswerBytes(std::string_view bytes) override { answer += bytes; }
    void OnChannelEnded() override { ended = true; }
    size_t Backlog() const override { return backlog; }
    int failed = 0;
    std::string answer;
    bool ended = false;
    size_t backlog = 0;
};

class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(link.Open(asio::ip::make_address("127.0.0.1"), 0, error)) << error;
        // The scripted host's socket plays the device: it sends to the link's port.
        device.SetDevicePort(link.Port());
        device.Send(ScriptedDirectoryHost::Datagram({.flags = relay::kRegistration, .channel = 0},
                                                    std::string("dev.example.net\0\0", 17)));
        EXPECT_EQ(Next(), relay::Acknowledgement({.flags = relay::kRegistration, .channel = 0}));
        EXPECT_EQ(status, "registered dev.example.net at 127.0.0.1:" + std::to_string(device.Port()) + "\n");
    }
    // The next datagram the link sends, running the event loop meanwhile.
    std::optional<std::string> Next(int milliseconds = 2000) {
        for (int waited = 0; waited < milliseconds; waited += 5) {
            io.run_for(std::chrono::milliseconds(5));
            if (auto datagram = device.Receive(0)) return datagram;
        }
        return std::nullopt;
    }
    void Run(int milliseconds) { io.run_for(std::chrono::milliseconds(milliseconds)); }
    // Opens a channel and acknowledges its opening as the device does, with `id`.
    DeviceLink::Handle OpenChannel(RecordingSink& sink, uint32_t id) {
        const auto relayed = link.Relay("DEV.example.net", "192.0.2.9:5000", "GET / HTTP/1.0\r\n\r\n", sink);
        EXPECT_EQ(relayed.status, 0);
        const auto opening = Next();
        EXPECT_TRUE(opening);
        EXPECT_EQ(opening->substr(relay::kHeaderBytes), "RELAY 192.0.2.9:5000\r\nGET / HTTP/1.0\r\n\r\n");
        device.Send(relay::Acknowledgement({.flags = relay::kNewChannel, .channel = id}));
        Run(20);
        return relayed.handle;
    }
    std::string Answer(uint32_t id, uint32_t sequence, const std::string& bytes) {
        return ScriptedDirectoryHost::Datagram(
            {.channel = id, .sequence = sequence, .length = static_cast<uint16_t>(bytes.size())}, bytes);
    }

    asio::io_context io;
    std::string status;
    DeviceLink link{io, std::chrono::milliseconds(1000), {.openAttemptWait = std::chrono::milliseconds(40),
                                                          .deviceSilence = std::chrono::milliseconds(300)},
                    [this](const std::string& line) { status += line + "\n"; }};
    ScriptedDirectoryHost device;
};

TEST_F(DeviceLinkTest, AnOpeningIsSentFiveTimesThenTheRequestsWaitingForThatDeviceFail) {
    RecordingSink first, second, unknown;
    EXPECT_EQ(link.Relay("nobody.example.net", "192.0.2.9:5000", "GET /", unknown).status, 404);
    link.Relay("dev.example.net", "192.0.2.9:5000", "GET /a HTTP/1.0\r\n\r\n", first);
    link.Relay("dev.example.net", "192.0.2.9:5001", "GET /b HTTP/1.0\r\n\r\n", second);
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto opening = Next();
        ASSERT_TRUE(opening) << attempt;
        EXPECT_EQ(ScriptedDirectoryHost::Header(*opening),
                  (DatagramHeader{.flags = relay::kNewChannel, .channel = relay::kNoChannel, .length = 41}))
            << "only the first request is opened while it waits";
    }
    EXPECT_FALSE(Next(200));
    EXPECT_EQ(first.failed, 504);
    EXPECT_EQ(second.failed, 504);
    EXPECT_EQ(link.Channels(), 0u);
}

TEST_F(DeviceLinkTest, AnswersAreAcknowledgedInOrderAndHeldBackWhileTheBrowserLags) {
    RecordingSink sink;
    const DeviceLink::Handle handle = OpenChannel(sink, 7);
    device.Send(Answer(7, 1, "HTTP/1.0 200 OK\r\n\r\n"));
    EXPECT_EQ(Next(), relay::Acknowledgement({.channel = 7, .sequence = 1}));
    device.Send(Answer(7, 1, "HTTP/1.0 200 OK\r\n\r\n"));
    EXPECT_EQ(Next(), relay::Acknowledgement({.channel = 7, .sequence = 1})) << "a lost acknowledgement is repeated";
    device.Send(Answer(7, 3, "skipped"));
    EXPECT_FALSE(Next(50)) << "a message out of order is dropped";

    sink.backlog = kMaxBufferedAnswer + 1;
    device.Send(Answer(7, 2, "body"));
    EXPECT_FALSE(Next(50)) << "held while the browser lags";
    device.Send(Answer(7, 2, "body"));
    EXPECT_FALSE(Next(50)) << "and a resend of it is not acknowledged either";
    sink.backlog = 0;
    link.Drained(handle);
    EXPECT_EQ(Next(), relay::Acknowledgement({.channel = 7, .sequence = 2}));
    EXPECT_EQ(sink.answer, "HTTP/1.0 200 OK\r\n\r\nbody");

    device.Send(ScriptedDirectoryHost::Datagram({.flags = relay::kClose, .channel = 7, .sequence = 3}));
    Run(20);
    EXPECT_TRUE(sink.ended);
    device.Send(Answer(7, 3, "late"));
    EXPECT_EQ(Next(), ScriptedDirectoryHost::Datagram({.flags = relay::kClose, .channel = 7, .sequence = 3}))
        << "a channel given up is closed towards the device";
}

TEST_F(DeviceLinkTest, ADroppedOrSilentChannelIsClosedTowardsTheDevice) {
    RecordingSink dropped, silent;
    link.Drop(OpenChannel(dropped, 8));
    EXPECT_EQ(Next(), ScriptedDirectoryHost::Datagram({.flags = relay::kClose, .channel = 8, .sequence = 1}));
    OpenChannel(silent, 9);
    EXPECT_EQ(Next(), ScriptedDirectoryHost::Datagram({.flags = relay::kClose, .channel = 9, .sequence = 1}));
    EXPECT_TRUE(silent.ended);
    EXPECT_FALSE(dropped.ended) << "a dropped channel's browser hears nothing more";
    EXPECT_EQ(link.Channels(), 0u);
}

}  // namespace
}  // namespace tarnhollow::directory
