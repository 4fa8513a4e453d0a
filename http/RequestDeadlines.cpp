// Expiring connections that have not completed their request, or made progress, in time.
#include "http/RequestDeadlines.h"

#include <asio.hpp>

#include "http/Transport.h"

namespace tarnhollow {

struct RequestDeadlines::Timer {
    explicit Timer(asio::io_context& io) : timer(io) {}
    asio::steady_timer timer;
    bool armed = false;
};

RequestDeadlines::RequestDeadlines(asio::io_context& io, std::chrono::milliseconds limit)
    : limit_(limit), timer_(std::make_unique<Timer>(io)) {}

RequestDeadlines::~RequestDeadlines() = default;

RequestDeadlines::Handle RequestDeadlines::Add(TransportEvents* connection) {
    entries_.push_back({Clock::now() + limit_, connection});
    if (!timer_->armed) Arm();
    return std::prev(entries_.end());
}

void RequestDeadlines::Renew(Handle handle) {
    // Moved to the back, which keeps the list in deadline order without a search.
    handle->deadline = Clock::now() + limit_;
    entries_.splice(entries_.end(), entries_, handle);
    if (!timer_->armed) Arm();
}

void RequestDeadlines::Remove(Handle handle) {
    // The timer is left as it is: when it fires it re-arms for whatever is first then,
    // which keeps timer updates to about one per limit period under load.
    entries_.erase(handle);
}

void RequestDeadlines::Arm() {
    if (entries_.empty()) return;
    timer_->armed = true;
    timer_->timer.expires_at(entries_.front().deadline);
    timer_->timer.async_wait(alive_.Guard([this](const asio::error_code& ec) {
        if (ec == asio::error::operation_aborted) return;
        timer_->armed = false;
        Expire();
    }));
}

void RequestDeadlines::Expire() {
    const Clock::time_point now = Clock::now();
    while (!entries_.empty() && entries_.front().deadline <= now) {
        TransportEvents* connection = entries_.front().connection;
        // Taken off the list first: the connection may be deleted inside OnClose.
        entries_.pop_front();
        connection->OnTimeout();
    }
    Arm();
}

}  // namespace tarnhollow
