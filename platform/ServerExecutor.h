// The one way work on other threads hands its results to the server thread: an
// executor of the server's event loop, passed to each worker that has results.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/post.hpp>
#include <functional>
#include <utility>

namespace tarnhollow {

// Results posted through it run on the server thread, one at a time and in the order
// posted; what is posted after the loop has ended is dropped with it. State a worker
// shares with the server thread is handed over this way (or guarded by a lock), never
// read or written bare from both.
using ServerExecutor = asio::any_io_executor;

// Runs `result` on the server thread; safe to call from any thread.
inline void PostToServer(const ServerExecutor& server, std::function<void()> result) {
    asio::post(server, std::move(result));
}

}  // namespace tarnhollow
