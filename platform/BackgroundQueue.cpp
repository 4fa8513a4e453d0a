// The worker thread of the background queue.
#include "platform/BackgroundQueue.h"

namespace tarnhollow {

BackgroundQueue::BackgroundQueue(ServerExecutor server, size_t limit) : server_(std::move(server)), limit_(limit) {}

BackgroundQueue::~BackgroundQueue() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        jobs_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool BackgroundQueue::Run(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (stopping_ || jobs_.size() >= limit_) return false;
        jobs_.push_back(std::move(job));
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
    }
    changed_.notify_one();
    return true;
}

void BackgroundQueue::PostToServer(std::function<void()> result) { tarnhollow::PostToServer(server_, std::move(result)); }

void BackgroundQueue::Loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> hold(lock_);
            changed_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace tarnhollow
