// The relay directory host's address: resolved on a worker, used once kept, and never
// an address only this machine can reach.
#include "net/ReachableAddress.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <atomic>

namespace tarnhollow::test {
namespace {

class ReachableAddressTest : public ::testing::Test {
protected:
    // Runs the loop until the resolution that is running has handed in its answer.
    void FinishResolution(ReachableAddress& reachable) {
        while (reachable.Resolving()) io.run_one_for(std::chrono::seconds(10));
    }
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> busy = asio::make_work_guard(io);
};

TEST_F(ReachableAddressTest, TheAdapterAddressServesUntilTheRelayHostResolvesThenTheRelayHostsAlways) {
    // Unresolvable, then the machine's own loopback name, then the relay host's address.
    const std::string answers[] = {"", "127.0.1.1", "198.51.100.7"};
    std::atomic<int> asked{0};
    ReachableAddress reachable(io.get_executor(), [&](const std::string& host) {
        EXPECT_EQ(host, "relay.example");
        return answers[asked++];
    });
    reachable.SetRelayHost(L"relay.example");
    EXPECT_EQ(reachable.ResolveReachableAddress(L"192.0.2.5"), L"192.0.2.5");
    for (int dropped = 0; dropped < 2; ++dropped) {
        FinishResolution(reachable);
        // Nothing, or only loopback, is not kept: the adapter address stays.
        EXPECT_EQ(reachable.ResolveReachableAddress(L"192.0.2.5"), L"192.0.2.5");
    }
    FinishResolution(reachable);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(reachable.ResolveReachableAddress(L"192.0.2.5"), L"198.51.100.7");
    EXPECT_EQ(reachable.ResolveReachableAddress(L"192.0.2.6"), L"198.51.100.7");
    EXPECT_EQ(asked, 3) << "a kept address is not resolved again";
}

}  // namespace
}  // namespace tarnhollow::test
