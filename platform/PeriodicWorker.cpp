// The worker loop: start hook, first tick, then a tick per period until the stop event,
// a final tick and the stop hook; and the one thread that runs it.
#include "platform/PeriodicWorker.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tarnhollow {

PeriodicWorker::PeriodicWorker(ConstructionKey) {}

PeriodicWorker::~PeriodicWorker() = default;

int PeriodicWorker::StartWorker(int32_t periodMilliseconds) {
    period_.store(periodMilliseconds);
    std::lock_guard<std::mutex> lock(lock_);
    stopSet_ = false;
    if (running_) {
        // A loop that has not seen the stop just goes on; one that has would end with
        // this start lost, so it is asked to run once more on its own thread.
        if (finishing_) restart_ = true;
        return 0;
    }
    // The previous loop has ended; only its thread's return is left to wait for. Joining
    // it here keeps one thread object however often the worker starts.
    if (thread_.joinable()) thread_.join();
    running_ = true;
    finishing_ = false;
    thread_ = std::thread([this] { WorkerLoop(); });
    return 0;
}

int PeriodicWorker::StopWorker() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopSet_ = true;
    }
    eventChanged_.notify_all();
    return 0;
}

size_t PeriodicWorker::ThreadObjects() const {
    std::lock_guard<std::mutex> lock(lock_);
    return thread_.joinable() ? 1 : 0;
}

void PeriodicWorker::StopAndWait() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
            std::fputs("tarnhollow: a periodic worker was destroyed by its own thread, which "
                       "would go on running on the destroyed object; stopping the program.\n",
                       stderr);
            std::abort();
        }
        restart_ = false;
        thread.swap(thread_);
    }
    StopWorker();
    if (thread.joinable()) thread.join();
}

bool PeriodicWorker::WaitForStop() {
    const int32_t period = period_.load();
    std::unique_lock<std::mutex> lock(lock_);
    bool stopped = true;
    if (period < 0) {
        eventChanged_.wait(lock, [this] { return stopSet_; });
    } else {
        stopped = eventChanged_.wait_for(lock, std::chrono::milliseconds(period), [this] { return stopSet_; });
    }
    if (stopped) finishing_ = true;
    return stopped;
}

void PeriodicWorker::WorkerLoop() {
    for (;;) {
        OnStart();
        Tick(false);
        while (!WaitForStop()) Tick(false);
        Tick(true);
        OnStop();
        std::lock_guard<std::mutex> lock(lock_);
        finishing_ = false;
        if (!restart_) {
            running_ = false;
            return;
        }
        restart_ = false;
    }
}

}  // namespace tarnhollow
