// The address the dynamic DNS name should point to: the relay directory host's, once it
// has been resolved, else the machine's own. Resolution runs on a worker; the first
// usable answer is kept for the life of the server object.
#pragma once

#include <functional>
#include <string>

#include "platform/AliveToken.h"
#include "platform/BackgroundQueue.h"
#include "platform/ServerExecutor.h"

namespace tarnhollow {

// Resolves `host` (the machine's own name when empty) to its first IPv4 address, dotted;
// empty when it cannot be resolved. Blocks: for workers only.
std::string ResolveHostAddress(const std::string& host);

class ReachableAddress {
public:
    using Resolver = std::function<std::string(const std::string& host)>;

    explicit ReachableAddress(ServerExecutor server, Resolver resolver = ResolveHostAddress);
    ~ReachableAddress();
    ReachableAddress(const ReachableAddress&) = delete;
    ReachableAddress& operator=(const ReachableAddress&) = delete;

    // The relay directory host, from the ServiceHost setting at each server start.
    void SetRelayHost(const std::wstring& host) { relayHost_ = host; }

    // On the server thread: the kept relay address, else `adapterAddress`. While none is
    // kept, starts one resolution unless one runs; an answer that only this machine can
    // reach (loopback, unspecified) is dropped, so the next call asks again.
    std::wstring ResolveReachableAddress(const std::wstring& adapterAddress);

    const std::wstring& ResolvedAddress() const { return resolved_; }
    bool Resolving() const { return resolving_; }

private:
    const Resolver resolver_;
    std::wstring relayHost_;
    std::wstring resolved_;
    bool resolving_ = false;
    AliveToken<ReachableAddress> alive_{this};
    // Last, so that its thread ends before the rest goes.
    BackgroundQueue worker_;
};

}  // namespace tarnhollow
