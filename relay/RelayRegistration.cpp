// The registration worker's tick: look the directory host up, then post.
#include "relay/RelayRegistration.h"

#include <arpa/inet.h>

#include <optional>

namespace tarnhollow {

std::optional<Ipv4Endpoint> ParseIpv4(const std::string& dotted, uint16_t port) {
    in_addr address{};
    if (::inet_pton(AF_INET, dotted.c_str(), &address) != 1) return std::nullopt;
    return Ipv4Endpoint{ntohl(address.s_addr), port};
}

RelayRegistration::RelayRegistration(ConstructionKey key, ServerExecutor server, Resolver resolver, Due due)
    : PeriodicWorker(key), server_(std::move(server)), resolver_(std::move(resolver)), due_(std::move(due)) {}

void RelayRegistration::SetDirectoryHost(const std::string& host, uint16_t port) {
    std::lock_guard<std::mutex> lock(lock_);
    host_ = host;
    port_ = port;
}

void RelayRegistration::Tick(bool final) {
    // The tick that follows a stop registers nothing.
    if (final) return;
    std::string host;
    uint16_t port;
    {
        std::lock_guard<std::mutex> lock(lock_);
        host = host_;
        port = port_;
    }
    if (host.empty()) return;
    std::optional<Ipv4Endpoint> directory = ParseIpv4(host, port);
    if (!directory) directory = ParseIpv4(resolver_(host), port);
    if (!directory) return;
    PostToServer(server_, [due = due_, endpoint = *directory] { due(endpoint); });
}

}  // namespace tarnhollow
