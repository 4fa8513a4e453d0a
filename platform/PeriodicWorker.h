// The base of the background activities that run on a thread of their own and wake at
// a period the activity itself may change: a stop event, a run guard that lets only one
// loop of an object run at a time, and start, tick and stop hooks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

namespace tarnhollow {

class PeriodicWorker {
public:
    PeriodicWorker();
    // Waits for any loop still running. Derived classes must call StopAndWait() in their
    // own destructors, before their members go, because the final tick runs their code.
    virtual ~PeriodicWorker();
    PeriodicWorker(const PeriodicWorker&) = delete;
    PeriodicWorker& operator=(const PeriodicWorker&) = delete;

    // Stores the period, resets the stop event and starts a thread running the worker
    // loop; when a loop of this object still runs, the new thread ends at once.
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

    // StopWorker, then wait until every thread this object started has ended.
    void StopAndWait();

private:
    // Returns the thread's exit code: 0 when the loop ran, 1 when the guard was taken.
    int WorkerLoop();
    bool WaitForStop();

    std::atomic<int32_t> period_{-1};
    std::mutex eventLock_;
    std::condition_variable eventChanged_;
    bool stopSet_ = false;
    std::binary_semaphore runGuard_{1};
    std::mutex threadsLock_;
    std::vector<std::thread> threads_;
};

}  // namespace tarnhollow
