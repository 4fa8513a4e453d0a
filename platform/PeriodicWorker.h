// The base of the background activities that run on a thread of their own and wake at
// a period the activity itself may change: a stop event, one loop of an object at a
// time, start, tick and stop hooks, and the wrapper that is the only way to create one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

namespace tarnhollow {

template <class Activity>
class Periodic;

// An activity derives from PeriodicWorker and takes a ConstructionKey as the first
// argument of its constructors, handing it on to this base. Only Periodic<Activity> can
// make a key, so an activity exists only inside that wrapper, whose destructor ends the
// loop (final tick included) while the activity's members are still there.
class PeriodicWorker {
public:
    class ConstructionKey {
        ConstructionKey() = default;
        template <class Activity>
        friend class Periodic;
    };

    explicit PeriodicWorker(ConstructionKey);
    // Periodic's destructor has already ended the loop and joined its thread.
    virtual ~PeriodicWorker();
    PeriodicWorker(const PeriodicWorker&) = delete;
    PeriodicWorker& operator=(const PeriodicWorker&) = delete;

    // Stores the period and resets the stop event. A loop that still runs carries on with
    // them, so nothing new starts; one that has already taken a stop runs once more from
    // its start hook when it ends; otherwise a thread starts the loop.
    virtual int StartWorker(int32_t periodMilliseconds);
    // Sets the stop event; does not wait.
    virtual int StopWorker();

    int32_t Period() const { return period_.load(); }

protected:
    // The periodic work; `final` is true for the one call after a stop.
    virtual void Tick(bool final) = 0;
    virtual void OnStart() {}
    virtual void OnStop() {}

    // A tick may change the period; it applies from the next wait. A negative period
    // waits for the stop event alone.
    void SetPeriod(int32_t periodMilliseconds) { period_.store(periodMilliseconds); }

    // Thread objects this worker holds: never more than one, however often it starts.
    size_t ThreadObjects() const;

private:
    template <class Activity>
    friend class Periodic;

    // Stops the loop and joins its thread. Called from the worker's own thread it could
    // only wait for itself or leave the thread running on a destroyed object, so it says
    // so on stderr and aborts.
    void StopAndWait();
    void WorkerLoop();
    bool WaitForStop();

    std::atomic<int32_t> period_{-1};
    // Guards everything below.
    mutable std::mutex lock_;
    std::condition_variable eventChanged_;
    bool stopSet_ = false;
    // The loop's thread has not finished WorkerLoop yet.
    bool running_ = false;
    // The running loop has taken the stop and is in its final tick or stop hook.
    bool finishing_ = false;
    // A start came while the loop was finishing; the loop runs again instead of ending.
    bool restart_ = false;
    std::thread thread_;
};

// The one way to create an activity: `Periodic<MyWorker> worker(args...)` or
// MakePeriodic<MyWorker>(args...). Final, so no class can come after it and run code
// its destructor has already outlived.
template <class Activity>
class Periodic final : public Activity {
    static_assert(std::is_base_of_v<PeriodicWorker, Activity>, "an activity derives from PeriodicWorker");

public:
    template <class... Args>
    explicit Periodic(Args&&... args) : Activity(PeriodicWorker::ConstructionKey(), std::forward<Args>(args)...) {}
    ~Periodic() override { this->PeriodicWorker::StopAndWait(); }
};

template <class Activity, class... Args>
std::unique_ptr<Periodic<Activity>> MakePeriodic(Args&&... args) {
    return std::make_unique<Periodic<Activity>>(std::forward<Args>(args)...);
}

}  // namespace tarnhollow
