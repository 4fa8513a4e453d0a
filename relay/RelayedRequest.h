// One HTTP request that arrived through the relay, as the transport of an ordinary
// connection: the request is the relay message's bytes, and each send is one relay
// message on the channel, acknowledged before the next.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <asio/steady_timer.hpp>

#include "http/Transport.h"
#include "platform/AliveToken.h"
#include "relay/RelayDatagram.h"

namespace tarnhollow {

class RelayService;

// Ownership: the connection that adopts it owns it; the RelayService only finds it by
// channel while it lives, and tells it when the service goes first.
class RelayedRequest : public Transport {
public:
    RelayedRequest(RelayService& service, uint32_t channel, std::string request);
    // Closes the channel (one close datagram) unless it has ended already.
    ~RelayedRequest() override;

    void Attach(TransportEvents* events) override { events_ = events; }
    // The request's bytes, once; the message is then empty.
    long Receive(char* buffer, size_t size) override;
    // Starts one message of up to 16384 bytes and answers kWouldBlock until it is
    // acknowledged; the call after that returns its length. kFailed once it failed.
    long Send(const char* bytes, size_t size) override;
    // The whole request came in its one message: there is nothing more to wait for.
    void WantRead() override {}
    void WantWrite() override;
    void ShutDown() override {}
    // Nothing can follow the request's one message, so closing never lingers for more.
    Leftover DiscardInput() override { return Leftover::PeerFinished; }
    // A relayed request has no client address.
    std::wstring PeerAddress() const override { return std::wstring(); }

    // For the RelayService: whether a sent message waits for its acknowledgement, and
    // the 16-byte reply that names this channel.
    bool AwaitingReply() const { return state_ == State::Sending; }
    void OnReply(const relay::DatagramHeader& reply);
    void LoseService();

    uint32_t Channel() const { return channel_; }

private:
    enum class State { Idle, Sending, Acknowledged, Failed };
    void SendAttempt();
    void OnAttemptEnded();
    void Fail();
    void Notify();

    RelayService* service_;
    uint32_t channel_;
    std::string request_;
    TransportEvents* events_ = nullptr;
    State state_ = State::Idle;
    // The message in flight: kept until acknowledged, so every attempt resends it whole.
    std::string message_;
    uint32_t sequence_ = 1;
    int attempts_ = 0;
    bool wantsWrite_ = false;
    asio::steady_timer acknowledgementTimer_;
    uint64_t waitGeneration_ = 0;
    AliveToken<RelayedRequest> alive_{this};
};

}  // namespace tarnhollow
