// A relayed request's channel: its request bytes, stop-and-wait sending of the answer
// with a timer per attempt, and the close datagram at its end.
#include "relay/RelayedRequest.h"

#include <algorithm>
#include <asio/post.hpp>

#include "relay/RelayService.h"

namespace tarnhollow {

RelayedRequest::RelayedRequest(RelayService& service, uint32_t channel, std::string request)
    : service_(&service),
      channel_(channel),
      request_(std::move(request)),
      acknowledgementTimer_(service.Context()) {}

RelayedRequest::~RelayedRequest() {
    alive_.Expire();
    if (!service_) return;
    if (channel_ != relay::kNoChannel) {
        char close[relay::kHeaderBytes];
        relay::EncodeHeader({.flags = relay::kClose, .channel = channel_, .sequence = sequence_}, close);
        service_->SendDatagram({close, sizeof close});
    }
    service_->Forget(channel_);
}

long RelayedRequest::Receive(char* buffer, size_t size) {
    const size_t n = std::min(size, request_.size());
    std::copy_n(request_.data(), n, buffer);
    request_ = std::string();
    return static_cast<long>(n);
}

long RelayedRequest::Send(const char* bytes, size_t size) {
    switch (state_) {
        case State::Failed:
            return kFailed;
        case State::Sending:
            return kWouldBlock;
        case State::Acknowledged: {
            // The connection offers the same bytes again; the message took its front.
            state_ = State::Idle;
            return static_cast<long>(std::min(message_.size(), size));
        }
        case State::Idle:
            break;
    }
    if (!service_) return kFailed;
    message_.assign(bytes, std::min(size, relay::kMessageBytes));
    attempts_ = 0;
    state_ = State::Sending;
    SendAttempt();
    return kWouldBlock;
}

void RelayedRequest::SendAttempt() {
    ++attempts_;
    char datagram[relay::kHeaderBytes + relay::kMaxPayloadBytes];
    for (size_t offset = 0; offset < message_.size() || offset == 0; offset += relay::kMaxPayloadBytes) {
        const size_t payload = std::min(relay::kMaxPayloadBytes, message_.size() - offset);
        relay::EncodeHeader({.flags = 0,
                             .channel = channel_,
                             .sequence = sequence_,
                             .length = static_cast<uint16_t>(message_.size()),
                             .offset = static_cast<uint16_t>(offset)},
                            datagram);
        std::copy_n(message_.data() + offset, payload, datagram + relay::kHeaderBytes);
        // A datagram the socket does not take ends this attempt; the wait below then
        // leads to the next, so a send that keeps failing is tried a bounded number of
        // times.
        if (!service_->SendDatagram({datagram, relay::kHeaderBytes + payload})) break;
        if (message_.empty()) break;
    }
    const uint64_t generation = ++waitGeneration_;
    acknowledgementTimer_.expires_after(service_->Timings().acknowledgementWait);
    acknowledgementTimer_.async_wait(alive_.Guard([this, generation](const asio::error_code&) {
        if (generation == waitGeneration_ && state_ == State::Sending) OnAttemptEnded();
    }));
}

void RelayedRequest::OnAttemptEnded() {
    if (attempts_ >= relay::kSendAttempts) {
        Fail();
        return;
    }
    SendAttempt();
}

void RelayedRequest::OnReply(const relay::DatagramHeader& reply) {
    if ((reply.flags & relay::kAcknowledgement) && reply.sequence == sequence_) {
        ++waitGeneration_;
        ++sequence_;
        state_ = State::Acknowledged;
        Notify();
        return;
    }
    if (reply.flags & relay::kClose) {
        Fail();
        return;
    }
    // Any other reply to this channel counts as a failed attempt.
    ++waitGeneration_;
    OnAttemptEnded();
}

void RelayedRequest::Fail() {
    ++waitGeneration_;
    state_ = State::Failed;
    Notify();
}

void RelayedRequest::LoseService() {
    service_ = nullptr;
    channel_ = relay::kNoChannel;
    Fail();
}

void RelayedRequest::WantWrite() {
    wantsWrite_ = true;
    if (state_ != State::Sending) Notify();
}

void RelayedRequest::Notify() {
    if (!wantsWrite_ || !events_) return;
    wantsWrite_ = false;
    // From the event loop, as a socket's readiness would come, never from inside the
    // call that asked for it.
    asio::post(acknowledgementTimer_.get_executor(), alive_.Guard([this] {
        if (events_) events_->OnSend();
    }));
}

}  // namespace tarnhollow
