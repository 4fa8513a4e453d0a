// The relay service: the UDP socket to the relay directory host, the registration while
// a public name is set, the reassembly of incoming messages and the relayed requests
// they start. Runs on the server thread and never waits: the protocol's waits are
// timers on the event loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include <asio/steady_timer.hpp>

#include "http/Transport.h"
#include "platform/AliveToken.h"
#include "platform/AsyncDatagram.h"
#include "relay/RelayDatagram.h"
#include "relay/RelayRegistration.h"

namespace tarnhollow {

class RelayedRequest;

// How long the relay waits for the next fragment of a message, and for the
// acknowledgement of a message it sent.
struct RelayTimings {
    std::chrono::milliseconds receiveWait{3000};
    std::chrono::milliseconds acknowledgementWait{5000};
};

class RelayService : public AsyncDatagram {
public:
    // Takes the transport of each new relayed request (the server adopts it as it adopts
    // an accepted socket, and owns it from then on).
    using Adopt = std::function<void(std::unique_ptr<Transport>)>;

    // The registration worker belongs to the server; this service starts and stops it.
    RelayService(asio::io_context& io, RelayRegistration& registration, int32_t periodMilliseconds, Adopt adopt,
                 RelayTimings timings = {});
    ~RelayService() override;

    // Binds an ephemeral port on all interfaces; false with `error` when it cannot.
    bool Start(int& error);

    // Registers `hostName` every period while it is non-empty; empty stops registering.
    void SetPublicName(std::wstring_view hostName);
    // A registration is due and the directory host is at `directoryHost`; only from it
    // are datagrams accepted from now on.
    void OnRegistrationDue(const Ipv4Endpoint& directoryHost);

    // For the relayed requests: one datagram to the directory host; false when the
    // socket did not take all of it.
    bool SendDatagram(std::string_view datagram);
    const RelayTimings& Timings() const { return timings_; }
    void Forget(uint32_t channel) { requests_.erase(channel); }

    bool Registering() const { return registering_; }
    size_t Requests() const { return requests_.size(); }

protected:
    void OnReceive(int error) override;

private:
    void Handle(std::string_view datagram);
    void Dispatch();
    void WaitForFragment();
    void OnPassEnded();

    RelayRegistration& registration_;
    const int32_t period_;
    const Adopt adopt_;
    const RelayTimings timings_;
    bool registering_ = false;
    std::string registrationDatagram_;
    // Known once the first registration is due; until then nothing is accepted.
    std::optional<Ipv4Endpoint> directoryHost_;
    relay::MessageAssembly assembly_;
    // The wait for the next fragment: one per pass, renewed by every datagram.
    asio::steady_timer passTimer_;
    uint64_t waitGeneration_ = 0;
    int passesEnded_ = 0;
    std::unique_ptr<char[]> datagram_;
    // The open relayed requests by channel. Their connections own them; each removes
    // itself as it goes, and is told when this service goes first.
    std::unordered_map<uint32_t, RelayedRequest*> requests_;
    AliveToken<RelayService> serviceAlive_{this};
};

}  // namespace tarnhollow
