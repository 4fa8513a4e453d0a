// Connecting to gpsd: its address, a non-blocking connect bounded in time, and the
// watch command.
#include "gps/GpsdConnection.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "gps/NmeaPort.h"

namespace tarnhollow {

namespace {

constexpr long kMaxPort = 65535;

bool IsPortNumber(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= kMaxPort;
}

UniqueFd ConnectOne(const addrinfo& address, int timeoutMilliseconds, int wakeFd) {
    UniqueFd socket(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol));
    if (!socket.IsOpen()) return {};
    if (::connect(socket.Get(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return {};
        if (!WaitReady(socket.Get(), POLLOUT, timeoutMilliseconds, wakeFd)) return {};
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return {};
    }
    // A few bytes into a fresh connection's empty send buffer: sent whole at once.
    const size_t length = sizeof kGpsdWatchCommand - 1;
    if (::send(socket.Get(), kGpsdWatchCommand, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) return {};
    return socket;
}

}  // namespace

std::optional<GpsdAddress> ParseGpsdAddress(std::string_view text) {
    GpsdAddress address;
    std::string_view rest;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        address.host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
    } else {
        const size_t colon = text.find(':');
        address.host = text.substr(0, colon);
        if (colon != std::string_view::npos) rest = text.substr(colon);
    }
    address.port = rest.empty() ? std::string(kDefaultGpsdPort) : std::string(rest.substr(1));
    if (address.host.empty() || !IsPortNumber(address.port)) return std::nullopt;
    return address;
}

UniqueFd ConnectToGpsd(std::string_view text, int timeoutMilliseconds, int wakeFd) {
    const std::optional<GpsdAddress> address = ParseGpsdAddress(text);
    if (!address) return {};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address->host.c_str(), address->port.c_str(), &hints, &found) != 0) return {};
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);
    for (const addrinfo* candidate = found; candidate; candidate = candidate->ai_next) {
        UniqueFd socket = ConnectOne(*candidate, timeoutMilliseconds, wakeFd);
        if (socket.IsOpen()) return socket;
    }
    return {};
}

}  // namespace tarnhollow
