// Deadlines of the connections of a server (to complete a request, to make progress
// with an answer, to linger before closing): one timer for all connections of a list
// instead of one each, since every deadline of a list is the same time after its
// connection began or last made progress.
#pragma once

#include <chrono>
#include <list>
#include <memory>

#include "platform/AliveToken.h"

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

    // Starts the clock for a connection; at the deadline it gets OnTimeout().
    Handle Add(TransportEvents* connection);
    // The connection made progress: its deadline starts again from now.
    void Renew(Handle handle);
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
    // Guards the timer's handler, so an expiry already queued when the deadlines go
    // never touches them.
    AliveToken<RequestDeadlines> alive_{this};
};

}  // namespace tarnhollow
