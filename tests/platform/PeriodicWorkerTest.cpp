// The periodic worker: hooks and ticks in order, a period changed by a tick, a stop
// during a tick, a second start while a loop runs, the final tick of a worker being
// destroyed, destruction from its own thread, and one thread object across restarts.
#include "platform/PeriodicWorker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <latch>
#include <memory>
#include <mutex>
#include <string>

namespace tarnhollow::test {
namespace {

using namespace std::chrono_literals;

class RecordingWorker : public PeriodicWorker {
public:
    explicit RecordingWorker(ConstructionKey key) : PeriodicWorker(key) {}
    using PeriodicWorker::ThreadObjects;

    std::string Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // Waits until the event log satisfies `done`.
    template <typename Predicate>
    bool WaitFor(Predicate done) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return done(events_); });
    }

    int ticks = 0;
    int32_t periodAfterFirstTick = -2;
    bool blockSecondTick = false;
    std::mutex gate;
    // The final tick copies the worker's own event log here.
    std::string* finalEvents = nullptr;

protected:
    void OnStart() override { Record("S"); }
    void OnStop() override { Record("E"); }
    void Tick(bool final) override {
        Record(final ? "F" : "t");
        if (final && finalEvents) *finalEvents = Events();
        if (final) return;
        ++ticks;
        if (ticks == 1 && periodAfterFirstTick != -2) SetPeriod(periodAfterFirstTick);
        if (ticks == 2 && blockSecondTick) {
            // An hour: only the stop event can end the wait after this tick.
            SetPeriod(3600 * 1000);
            Record("[");
            std::lock_guard<std::mutex> hold(gate);
            Record("]");
        }
    }

private:
    void Record(const char* what) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_ += what;
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string events_;
};

TEST(PeriodicWorker, StartTickThenFinalTickAndStopHookAfterAStop) {
    Periodic<RecordingWorker> worker;
    EXPECT_EQ(worker.Period(), -1);
    worker.StartWorker(1);
    ASSERT_TRUE(worker.WaitFor([](const std::string& e) { return e.size() >= 4; }));
    worker.StopWorker();
    ASSERT_TRUE(worker.WaitFor([](const std::string& e) { return !e.empty() && e.back() == 'E'; }));
    const std::string events = worker.Events();
    EXPECT_EQ(events.substr(0, 2), "St");
    EXPECT_EQ(events.substr(events.size() - 2), "FE");
    EXPECT_EQ(events.find_first_not_of('t', 1), events.size() - 2);
}

TEST(PeriodicWorker, APeriodSetByATickAppliesFromTheNextWait) {
    Periodic<RecordingWorker> worker;
    worker.periodAfterFirstTick = 1;
    // A first period of an hour: only the tick's own change lets more ticks come.
    worker.StartWorker(3600 * 1000);
    EXPECT_TRUE(worker.WaitFor([](const std::string& e) { return e.size() >= 5; }));
    EXPECT_EQ(worker.Period(), 1);
}

TEST(PeriodicWorker, AStopDuringATickEndsTheNextWaitAtOnce) {
    Periodic<RecordingWorker> worker;
    worker.blockSecondTick = true;
    std::unique_lock<std::mutex> hold(worker.gate);
    worker.StartWorker(1);
    ASSERT_TRUE(worker.WaitFor([](const std::string& e) { return e.find('[') != std::string::npos; }));
    worker.StopWorker();
    hold.unlock();
    EXPECT_TRUE(worker.WaitFor([](const std::string& e) { return !e.empty() && e.back() == 'E'; }));
    EXPECT_EQ(worker.Events(), "Stt[]FE");
}

TEST(PeriodicWorker, LoopsOfOneObjectNeverRunAtTheSameTime) {
    Periodic<RecordingWorker> worker;
    worker.StartWorker(3600 * 1000);
    ASSERT_TRUE(worker.WaitFor([](const std::string& e) { return e == "St"; }));
    for (int i = 0; i < 20; ++i) worker.StartWorker(1);
    worker.StopWorker();
    ASSERT_TRUE(worker.WaitFor([](const std::string& e) { return !e.empty() && e.back() == 'E'; }));
    // A later start may run its own loop once the first has ended, but every loop's
    // start hook is followed by its own stop hook before another begins.
    const std::string events = worker.Events();
    int open = 0;
    for (char c : events) {
        if (c == 'S') {
            EXPECT_EQ(open++, 0) << events;
        } else if (c == 'E') {
            EXPECT_EQ(--open, 0) << events;
        }
    }
}

TEST(PeriodicWorker, AWorkerDestroyedWhileRunningGetsItsFinalTickWithItsMembers) {
    std::string seen;
    {
        Periodic<RecordingWorker> worker;
        worker.finalEvents = &seen;
        worker.StartWorker(-1);
        ASSERT_TRUE(worker.WaitFor([](const std::string& e) { return e == "St"; }));
    }
    EXPECT_EQ(seen, "StF");
}

TEST(PeriodicWorker, ManyStartsAndStopsKeepOneThreadObject) {
    Periodic<RecordingWorker> worker;
    for (int i = 1; i <= 50; ++i) {
        worker.StartWorker(-1);
        worker.StopWorker();
        ASSERT_TRUE(worker.WaitFor([i](const std::string& e) { return std::count(e.begin(), e.end(), 'E') == i; }));
        EXPECT_LE(worker.ThreadObjects(), 1u);
    }
}

// Its first tick destroys it, as an activity whose work ends its own life might.
struct SelfDestroyingWorker : PeriodicWorker {
    SelfDestroyingWorker(ConstructionKey key, std::unique_ptr<PeriodicWorker>& owner, std::latch& after)
        : PeriodicWorker(key), owner(owner), after(after) {}
    void Tick(bool final) override {
        if (final) return;
        std::latch& survived = after;
        owner.reset();
        survived.count_down();
    }
    std::unique_ptr<PeriodicWorker>& owner;
    std::latch& after;
};

TEST(PeriodicWorkerDeathTest, DestructionFromTheWorkersOwnThreadStopsTheProgramLoudly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::latch survived(1);
            std::unique_ptr<PeriodicWorker> owner;
            owner = MakePeriodic<SelfDestroyingWorker>(owner, survived);
            owner->StartWorker(-1);
            survived.wait();
        },
        "destroyed by its own thread");
}

}  // namespace
}  // namespace tarnhollow::test
