// The registration worker: every period it finds the directory host's address (a name
// lookup may take long, so it runs on its own thread) and hands it to the server thread,
// which sends the registration datagram there.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/AsyncDatagram.h"
#include "platform/PeriodicWorker.h"
#include "platform/ServerExecutor.h"

namespace tarnhollow {

class RelayRegistration : public PeriodicWorker {
public:
    // Dotted IPv4 address of a host name, empty when it has none. Blocks.
    using Resolver = std::function<std::string(const std::string& host)>;
    // Runs on the server thread with the directory host's address, once per tick.
    using Due = std::function<void(const Ipv4Endpoint& directoryHost)>;

    RelayRegistration(ConstructionKey key, ServerExecutor server, Resolver resolver, Due due);

    // The directory host and its port, from the settings at each server start; an
    // empty host sends nothing. Safe from any thread.
    void SetDirectoryHost(const std::string& host, uint16_t port);

protected:
    void Tick(bool final) override;

private:
    const ServerExecutor server_;
    const Resolver resolver_;
    const Due due_;
    std::mutex lock_;
    std::string host_;
    uint16_t port_ = 0;
};

// "a.b.c.d" as an endpoint with `port`; nothing when it is not a dotted IPv4 address.
std::optional<Ipv4Endpoint> ParseIpv4(const std::string& dotted, uint16_t port);

}  // namespace tarnhollow
