// Resolving the relay directory host on a worker and keeping its address.
#include "net/ReachableAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include "net/Addresses.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// One resolution at a time; a refresh that finds one running starts none.
constexpr size_t kResolutionQueueLimit = 1;

}  // namespace

std::string ResolveHostAddress(const std::string& host) {
    std::string name = host;
    if (name.empty()) {
        char own[256] = {};
        if (::gethostname(own, sizeof own - 1) != 0) return std::string();
        name = own;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &answer) != 0 || !answer) return std::string();
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr);
    ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    ::freeaddrinfo(answer);
    return text;
}

ReachableAddress::ReachableAddress(ServerExecutor server, Resolver resolver)
    : resolver_(std::move(resolver)),
      worker_(std::move(server), kResolutionQueueLimit) {}

ReachableAddress::~ReachableAddress() { alive_.Expire(); }

std::wstring ReachableAddress::ResolveReachableAddress(const std::wstring& adapterAddress) {
    if (!resolved_.empty()) return resolved_;
    if (!resolving_) {
        resolving_ = true;
        const std::string host = WideToAnsi(relayHost_);
        auto answer = std::make_shared<std::string>();
        auto keep = alive_.Guard([this, answer] {
            resolving_ = false;
            if (!answer->empty() && !IsLocalOnlyAddress(*answer)) resolved_ = AnsiToWide(*answer);
        });
        const bool queued = worker_.Run([this, host, answer, keep, resolver = resolver_] {
            *answer = resolver(host);
            worker_.PostToServer(keep);
        });
        if (!queued) resolving_ = false;
    }
    return adapterAddress;
}

}  // namespace tarnhollow
