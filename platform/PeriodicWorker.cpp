// The worker loop: start hook, first tick, then a tick per period until the stop event,
// a final tick and the stop hook.
#include "platform/PeriodicWorker.h"

#include <chrono>

namespace tarnhollow {

PeriodicWorker::PeriodicWorker() = default;

PeriodicWorker::~PeriodicWorker() { StopAndWait(); }

int PeriodicWorker::StartWorker(int32_t periodMilliseconds) {
    period_.store(periodMilliseconds);
    {
        std::lock_guard<std::mutex> lock(eventLock_);
        stopSet_ = false;
    }
    std::lock_guard<std::mutex> lock(threadsLock_);
    threads_.emplace_back([this] { WorkerLoop(); });
    return 0;
}

int PeriodicWorker::StopWorker() {
    {
        std::lock_guard<std::mutex> lock(eventLock_);
        stopSet_ = true;
    }
    eventChanged_.notify_all();
    return 0;
}

void PeriodicWorker::StopAndWait() {
    StopWorker();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(threadsLock_);
        threads.swap(threads_);
    }
    for (std::thread& t : threads) {
        if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
        else if (t.joinable()) t.detach();
    }
}

bool PeriodicWorker::WaitForStop() {
    const int32_t period = period_.load();
    std::unique_lock<std::mutex> lock(eventLock_);
    if (period < 0) {
        eventChanged_.wait(lock, [this] { return stopSet_; });
        return true;
    }
    return eventChanged_.wait_for(lock, std::chrono::milliseconds(period), [this] { return stopSet_; });
}

int PeriodicWorker::WorkerLoop() {
    if (!runGuard_.try_acquire()) return 1;
    OnStart();
    Tick(false);
    while (!WaitForStop()) Tick(false);
    Tick(true);
    OnStop();
    runGuard_.release();
    return 0;
}

}  // namespace tarnhollow
