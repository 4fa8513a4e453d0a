// One worker thread that runs queued jobs in order, for work that must never hold the
// server thread (key presses and screen captures on an X display that may be slow or
// hung); jobs hand their results back through the server's event loop.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/ServerExecutor.h"

namespace tarnhollow {

class BackgroundQueue {
public:
    // Results go to the server thread through `server`; at most `limit` jobs wait at a
    // time.
    BackgroundQueue(ServerExecutor server, size_t limit);
    // Lets the running job finish, drops the waiting ones and joins the thread.
    ~BackgroundQueue();
    BackgroundQueue(const BackgroundQueue&) = delete;
    BackgroundQueue& operator=(const BackgroundQueue&) = delete;

    // Queues `job`; false, with nothing queued, when `limit` jobs already wait.
    bool Run(std::function<void()> job);

    // From a job: runs `result` on the server thread.
    void PostToServer(std::function<void()> result);

private:
    void Loop();

    ServerExecutor server_;
    const size_t limit_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    // Started with the first job: a server nobody asks for the screen needs no thread.
    std::thread thread_;
};

}  // namespace tarnhollow
