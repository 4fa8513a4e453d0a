// The deadline by which every connection must have completed its request: one timer for
// all connections of a server instead of one each, since every deadline is the same
// time after its connection began.
#pragma once

#include <chrono>
#include <list>
#include <memory>

namespace asio {
class io_context;
}

namespace tarnhollow {

class TransportEvents;

class RequestDeadlines {
public:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        Clock::time_point deadline;
        TransportEvents* connection;
    };
    using Handle = std::list<Entry>::iterator;

    RequestDeadlines(asio::io_context& io, std::chrono::milliseconds limit);
    ~RequestDeadlines();
    RequestDeadlines(const RequestDeadlines&) = delete;
    RequestDeadlines& operator=(const RequestDeadlines&) = delete;

    // Starts the clock for a connection; at the deadline it gets OnClose().
    Handle Add(TransportEvents* connection);
    // The connection completed its request or went away.
    void Remove(Handle handle);
    size_t Count() const { return entries_.size(); }

private:
    void Arm();
    void Expire();

    struct Timer;
    std::chrono::milliseconds limit_;
    // In deadline order, because every deadline is `limit_` after its Add.
    std::list<Entry> entries_;
    std::unique_ptr<Timer> timer_;
};

}  // namespace tarnhollow
