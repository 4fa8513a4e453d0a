// The data connection's worker driven through a scripted connection manager: status
// handling, the stop that is never lost, and at most one error report per 300 seconds.
#include "net/ConnectionMonitor.h"

#include <gtest/gtest.h>

#include <deque>

namespace tarnhollow::test {
namespace {

using namespace connection_status;

// Each step is one status change the connection reports, read at the given time; a
// refused step refuses the request with its status as the error.
struct ScriptedManager : ConnectionManager {
    struct Step { uint32_t status; int64_t time; bool refuse = false; };
    explicit ScriptedManager(std::deque<Step> script) : script_(std::move(script)) {}

    ConnectionHandle Establish(bool proxy, ConnectionEvents& events, uint32_t& error) override {
        std::lock_guard<std::mutex> hold(lock_);
        ++establishes;
        proxyAsked = proxy;
        if (!script_.empty() && script_.front().refuse) {
            error = Next().status;
            return 0;
        }
        events_ = &events;
        if (!script_.empty()) events.StatusChanged();
        return 7;
    }
    bool QueryStatus(ConnectionHandle connection, uint32_t& status, uint32_t&) override {
        std::lock_guard<std::mutex> hold(lock_);
        EXPECT_EQ(connection, 7u);
        ++queries;
        status = Next().status;
        if (!script_.empty()) events_->StatusChanged();
        return true;
    }
    void Release(ConnectionHandle, bool cache) override {
        std::lock_guard<std::mutex> hold(lock_);
        releases.push_back(cache);
        changed_.notify_all();
    }
    void Report(uint32_t status) { std::lock_guard<std::mutex> hold(lock_); reports.push_back(status); }
    // Waits until every step has been read and `releaseCount` connections were released.
    void WaitUntilPlayed(size_t releaseCount) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return script_.empty() && releases.size() >= releaseCount; });
    }

    std::atomic<int64_t> clock{1000};
    int establishes = 0, queries = 0;
    bool proxyAsked = false;
    std::vector<bool> releases;
    std::vector<uint32_t> reports;

private:
    Step Next() {
        const Step step = script_.front();
        script_.pop_front();
        clock = step.time;
        changed_.notify_all();
        return step;
    }
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Step> script_;
    ConnectionEvents* events_ = nullptr;
};

TEST(DataConnection, AFailureIsReportedAtMostOnceIn300SecondsAndAtOnceAfterAConnection) {
    ScriptedManager manager({{0x1234, 1000, true}, {kFailed, 1010}, {kConnected, 1020}, {kFailed, 1020},
                             {0x22, 1319}, {kConnected, 1319}});
    CDataConnection connection(
        manager, [&](uint32_t status) { manager.Report(status); }, {.settle = std::chrono::milliseconds(0)},
        [&] { return manager.clock.load(); });
    ASSERT_EQ(connection.StartConnection(), 0);
    manager.WaitUntilPlayed(3);
    connection.Disconnect();
    // The refusal comes in the very second of the start and is still reported, with the
    // refusal's error; each refusal or failure asks for a new connection.
    EXPECT_EQ(manager.reports, (std::vector<uint32_t>{0x1234, kFailed}));
    EXPECT_EQ(manager.establishes, 5);
    EXPECT_EQ(connection.LastStatus(), kConnected);
    EXPECT_TRUE(manager.proxyAsked);
    for (bool cache : manager.releases) EXPECT_FALSE(cache) << "failed connections are not kept for others";
}

TEST(DataConnection, ANormalDisconnectionEndsTheWorkerAndKeepsTheConnectionForOthers) {
    ScriptedManager manager({{kConnected, 1000}, {kDisconnected, 1001}});
    CDataConnection connection(manager, {}, {.settle = std::chrono::milliseconds(0)});
    connection.StartConnection();
    manager.WaitUntilPlayed(1);
    connection.Disconnect();
    EXPECT_EQ(manager.establishes, 1) << "a connection that went down normally is not asked for again";
    EXPECT_EQ(manager.releases, std::vector<bool>{true});
}

TEST(DataConnection, AStopWhileAStatusSettlesEndsTheWorkerWithoutReadingIt) {
    std::atomic<bool> settling{false};
    ScriptedManager manager({{kConnected, 1000}});
    CDataConnection connection(
        manager, {}, {.settle = std::chrono::hours(1), .settling = [&] { settling = true, settling.notify_all(); }});
    connection.StartConnection();
    settling.wait(false);
    connection.Disconnect();
    EXPECT_FALSE(connection.Running());
    EXPECT_EQ(manager.queries, 0);
    EXPECT_EQ(manager.releases.size(), 1u);
}

TEST(DataConnection, ThisPlatformsManagerIsConnectedAtOnceAndStopsOnRequest) {
    AlwaysConnected manager;
    CDataConnection connection(manager, [](uint32_t) { ADD_FAILURE() << "nothing to report"; },
                               {.settle = std::chrono::milliseconds(0)});
    connection.StartConnection();
    connection.StartConnection();  // a second start ends the first worker
    connection.Disconnect();
    EXPECT_FALSE(connection.Running());
}

}  // namespace
}  // namespace tarnhollow::test
