// The relay through the real binary and the scripted directory host on 127.0.0.1: the
// registration once the dynamic DNS name is registered, a static file answered through
// the relay exactly as over TCP, and TCP clients served while a relay message waits
// for a fragment that never comes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <toml++/toml.h>

#include "ddns/FakeUpdateServer.h"
#include "net/Addresses.h"
#include "relay/ScriptedDirectoryHost.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

using relay::DatagramHeader;

class RelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The public name comes from the dynamic DNS update, which needs an address.
        if (SelectAdapterAddress().empty()) GTEST_SKIP() << "this machine has no address but loopback";
        root.Write("hello.txt", "Hello through the relay\n");
        toml::table table;
        for (const auto& [name, value] : std::initializer_list<std::pair<const char*, const char*>>{
                 {"Name", "abc"}, {"Domain", "homeip.net"}, {"User", "me"}, {"Pass", "right"},
                 {"ServiceHost", "127.0.0.1"}}) {
            table.insert_or_assign(name, value);
        }
        table.insert_or_assign("DNS_UpdateHost", updateServer.Host());
        table.insert_or_assign("ServicePort", int64_t{host.Port()});
        table.insert_or_assign("ServicePeriod", int64_t{50});
        std::ofstream(scratch.Path() + "/settings.toml") << table << "\n";
        server = std::make_unique<ServerProcess>(
            ServerProcess::Options{.root = root.Path(), .settings = scratch.Path() + "/settings.toml"});
        ASSERT_TRUE(server->WaitUntilListening());
    }

    // Sends a request message in fragments (all when `order` is empty) and returns the
    // acknowledgement's header.
    std::optional<DatagramHeader> SendRequest(const std::string& message, std::vector<size_t> order = {}) {
        for (const std::string& fragment : ScriptedDirectoryHost::RequestFragments(message, order)) host.Send(fragment);
        const auto ack = host.ReceiveSkippingRegistrations();
        if (!ack || ack->size() != relay::kHeaderBytes) return std::nullopt;
        return ScriptedDirectoryHost::Header(*ack);
    }

    TempDir scratch, root;
    FakeUpdateServer updateServer{[](const FakeUpdateServer::Request&) {
        return FakeUpdateServer::Answer{200, "good 192.0.2.1"};
    }};
    ScriptedDirectoryHost host;
    std::unique_ptr<ServerProcess> server;
};

// The answer without its Date line, which may differ by a second.
std::string WithoutDate(std::string answer) {
    const size_t date = answer.find("\r\nDate: ");
    if (date != std::string::npos) answer.erase(date, answer.find("\r\n", date + 2) - date);
    return answer;
}

TEST_F(RelayTest, TheNameIsRegisteredAndAStaticFileComesThroughTheRelayAsOverTcp) {
    const auto registration = host.Receive(20000);
    ASSERT_TRUE(registration);
    EXPECT_EQ(*registration, relay::RegistrationDatagram("abc.homeip.net"));
    EXPECT_EQ(registration->size(), 32u);
    ASSERT_TRUE(host.Receive()) << "registrations repeat every period";

    const auto ack = SendRequest("relay abc.homeip.net\r\nGET /hello.txt HTTP/1.0\r\nHost: abc.homeip.net\r\n\r\n");
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->flags, relay::kNewChannel | relay::kAcknowledgement);
    const auto answer = host.CollectAnswer(ack->channel);
    const std::string overTcp = Get(server->Port(), "/hello.txt", "Host: abc.homeip.net\r\n").raw;
    EXPECT_EQ(WithoutDate(answer.bytes), WithoutDate(overTcp));
    ASSERT_TRUE(answer.close);
    EXPECT_EQ(answer.close->channel, ack->channel);
}

TEST_F(RelayTest, TcpClientsAreServedWhileARelayMessageWaitsForItsLastFragments) {
    ASSERT_TRUE(host.Receive(20000));
    const auto medianGet = [this] {
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(Get(server->Port(), "/hello.txt").statusLine, "HTTP/1.0 200 OK");
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double before = medianGet();
    const std::string message = "relay\r\nGET /hello.txt HTTP/1.0\r\nX-Pad: " + std::string(2950, 'p') + "\r\n\r\n";
    const auto fragments = ScriptedDirectoryHost::RequestFragments(message);
    host.Send(fragments[0]);
    const double during = medianGet();
    // The message was still being put together all along: its last fragments complete it.
    const auto ack = SendRequest(message, {1, 2});
    ASSERT_TRUE(ack);
    EXPECT_TRUE(host.CollectAnswer(ack->channel).close);
    const double after = medianGet();
    std::printf("median TCP GET: before %.3f ms, during %.3f ms, after %.3f ms\n", before, during, after);
}

}  // namespace
}  // namespace tarnhollow::test
