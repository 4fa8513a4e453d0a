// The relay service on a real event loop against the scripted directory host:
// registration, reassembly and acknowledgement, relayed answers message by message, the
// close datagram, and what it refuses. Periods and waits are short here.
#include "relay/RelayService.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <future>
#include <thread>

#include "http/ConnectionSocket.h"
#include "platform/TextConvert.h"
#include "relay/RelayedRequest.h"
#include "relay/ScriptedDirectoryHost.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// The transport of a request, sending `total` bytes as a connection with that much
// pending would.
class BulkSender : public TransportEvents {
public:
    BulkSender(std::unique_ptr<Transport> transport, size_t total) : transport_(std::move(transport)), bytes_(total, 'x') {
        transport_->Attach(this);
    }
    void OnSend() override {
        while (sent_ < bytes_.size()) {
            const long n = transport_->Send(bytes_.data() + sent_, bytes_.size() - sent_);
            if (n == Transport::kWouldBlock) return transport_->WantWrite();
            if (n < 0) break;
            sent_ += static_cast<size_t>(n);
        }
        transport_.reset();
    }
    void OnReceive() override {}
    void OnClose() override {}
    void OnTimeout() override {}

private:
    std::unique_ptr<Transport> transport_;
    std::string bytes_;
    size_t sent_ = 0;
};

class RelayServiceTest : public ::testing::Test {
protected:
    // Runs `step` on the event loop's thread and waits for it.
    template <typename Step>
    auto OnLoop(Step step) {
        std::packaged_task<decltype(step())()> task(step);
        auto result = task.get_future();
        asio::post(io_, [&task] { task(); });
        return result.get();
    }

    void SetUp() override {
        context_.documentRoot = AnsiToWide(root_.Path());
        root_.Write("hello.txt", "Hello through the relay");
        registration_ = MakePeriodic<RelayRegistration>(
            io_.get_executor(), [](const std::string&) { return ""; },
            [this](const Ipv4Endpoint& host) { if (service_) service_->OnRegistrationDue(host); });
        registration_->SetDirectoryHost("127.0.0.1", host_.Port());
        OnLoop([this] {
            service_ = std::make_unique<RelayService>(
                io_, *registration_, 20, [this](std::unique_ptr<Transport> transport) { Adopt(std::move(transport)); },
                RelayTimings{std::chrono::milliseconds(20), std::chrono::milliseconds(200)});
            int error = 0;
            ASSERT_TRUE(service_->Start(error)) << error;
            host_.SetDevicePort(service_->LocalPort());
        });
    }
    void TearDown() override {
        OnLoop([this] { service_.reset(); });
        registration_.reset();
        work_.reset();
        loop_.join();
    }

    void Adopt(std::unique_ptr<Transport> transport) {
        if (bulkBytes_) return senders_.emplace_back(new BulkSender(std::move(transport), bulkBytes_))->OnSend();
        auto* connection = new CConnectionSocket(&context_, std::move(transport), [this](CConnectionSocket* done) {
            asio::post(io_, [done] { delete done; });
        });
        connection->Start();
    }

    // Registers for `periods` periods, each with the exact datagram, so the service knows
    // the directory host, then clears the name so only the exchange under test is on the wire.
    void Register(int periods = 1) {
        OnLoop([this] { service_->SetPublicName(L"abc.homeip.net"); });
        for (int i = 0; i < periods; ++i) EXPECT_EQ(host_.Receive(), relay::RegistrationDatagram("abc.homeip.net")) << i;
        OnLoop([this] { service_->SetPublicName(L""); });
        // What was on its way when the name was cleared, then silence.
        while (host_.Receive(100)) {
        }
        EXPECT_FALSE(OnLoop([this] { return service_->Registering(); }));
    }

    // A request message as the directory host sends it: its own first line, then the
    // browser's request, padded by a header to `size` bytes.
    static std::string RequestMessage(const std::string& path, size_t size) {
        std::string message = "relay 1 browser\r\nGET " + path + " HTTP/1.0\r\nX-Pad: ";
        const std::string end = "\r\n\r\n";
        message += std::string(size - message.size() - end.size(), 'p') + end;
        return message;
    }

    // Sends a request message in fragments (all in order when `order` is empty), checks
    // the acknowledgement that opens its channel, and returns the channel.
    uint32_t SendRequest(const std::string& message, const std::vector<size_t>& order = {}) {
        for (const std::string& fragment : ScriptedDirectoryHost::RequestFragments(message, order)) host_.Send(fragment);
        const auto ack = host_.ReceiveSkippingRegistrations();
        EXPECT_TRUE(ack && ack->size() == relay::kHeaderBytes);
        const relay::DatagramHeader header = ScriptedDirectoryHost::Header(ack.value_or(""));
        EXPECT_EQ(header.flags, relay::kNewChannel | relay::kAcknowledgement);
        EXPECT_NE(header.channel, relay::kNoChannel);
        EXPECT_EQ(header.sequence, 0u);
        return header.channel;
    }

    asio::io_context io_;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_{io_.get_executor()};
    std::thread loop_{[this] { io_.run(); }};
    TempDir root_;
    ServerContext context_;
    ScriptedDirectoryHost host_;
    std::unique_ptr<Periodic<RelayRegistration>> registration_;
    std::unique_ptr<RelayService> service_;
    size_t bulkBytes_ = 0;
    std::vector<std::unique_ptr<BulkSender>> senders_;
};

TEST_F(RelayServiceTest, RegistersEveryPeriodWithTheExactDatagramUntilTheNameIsCleared) { Register(3); }

TEST_F(RelayServiceTest, ARequestInFragmentsInAnyOrderIsAcknowledgedOnceAndAnswered) {
    Register();
    for (std::vector<size_t> order : {std::vector<size_t>{0, 1, 2}, {2, 0, 1}}) {
        const auto answer = host_.CollectAnswer(SendRequest(RequestMessage("/hello.txt", 3000), order));
        EXPECT_EQ(answer.bytes.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer.bytes;
        EXPECT_NE(answer.bytes.find("\r\n\r\nHello through the relay"), std::string::npos);
        ASSERT_TRUE(answer.close);
        EXPECT_EQ(answer.close->sequence, answer.sequences.back() + 1);
        EXPECT_EQ(answer.sequences.front(), 1u);
    }
    // The finished requests are gone from the service.
    EXPECT_EQ(OnLoop([this] { return service_->Requests(); }), 0u);
}

TEST_F(RelayServiceTest, ALongAnswerGoesAsMessagesEachAfterTheLastWasAcknowledged) {
    Register();
    bulkBytes_ = 40000;
    const uint32_t channel = SendRequest(RequestMessage("/", 100));
    // The first message is sent, and sent again after each wait, until acknowledged.
    const auto first = host_.ReceiveSkippingRegistrations();
    ASSERT_TRUE(first);
    EXPECT_EQ(ScriptedDirectoryHost::Header(*first).length, 16384);
    const auto answer = host_.CollectAnswer(channel);
    EXPECT_EQ(answer.sequences, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(answer.sizes, (std::vector<size_t>{16384, 16384, 7232}));
    ASSERT_TRUE(answer.close);
    EXPECT_EQ(answer.close->sequence, 4u);
}

TEST_F(RelayServiceTest, AnAnswerNobodyAcknowledgesEndsAfterFiveAttemptsWithTheClose) {
    Register();
    const auto answer = host_.CollectAnswer(SendRequest(RequestMessage("/hello.txt", 200)), 5000, false);
    EXPECT_EQ(answer.sequences, std::vector<uint32_t>(relay::kSendAttempts, 1));
    ASSERT_TRUE(answer.close);
    EXPECT_EQ(answer.close->sequence, 1u);
}

TEST_F(RelayServiceTest, WhatCannotBeARequestIsNeitherAcknowledgedNorAnswered) {
    Register();
    const std::string message = RequestMessage("/hello.txt", 3000);
    const auto fragments = ScriptedDirectoryHost::RequestFragments(message);
    ScriptedDirectoryHost stranger;
    stranger.SetDevicePort(host_.DevicePort());
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a fragment missing", [&] { host_.Send(fragments[0]), host_.Send(fragments[2]); }},
        {"a registration acknowledgement",
         [&] { host_.Send(ScriptedDirectoryHost::Datagram({.flags = 0x0C, .channel = 0})); }},
        {"a message longer than the buffer",
         [&] { host_.Send(ScriptedDirectoryHost::Datagram({.flags = 1, .length = 16385}, std::string(1300, 'p'))); }},
        {"another source port", [&] { for (const auto& fragment : fragments) stranger.Send(fragment); }},
    };
    for (const auto& [description, send] : cases) {
        SCOPED_TRACE(description);
        send();
        // Five waits of 20 ms pass without a word from the service.
        EXPECT_FALSE(host_.ReceiveSkippingRegistrations(300));
        EXPECT_EQ(OnLoop([this] { return service_->Requests(); }), 0u);
    }
    // And the service still answers a request that is whole.
    SendRequest(message);
}

}  // namespace
}  // namespace tarnhollow::test
