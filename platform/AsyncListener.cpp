// Listening and accepting over Asio's reactor: connections are handed over once their
// first bytes have arrived, accepted non-blocking with their peer's address.
#include "platform/AsyncListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/ReadinessWait.h"

namespace tarnhollow {

struct AsyncListener::Acceptor : asio::ip::tcp::acceptor {
    using basic_socket_acceptor::basic_socket_acceptor;
};

AsyncListener::AsyncListener(asio::io_context& io) : AsyncSocket(io), acceptor_(std::make_unique<Acceptor>(io)) {}

AsyncListener::~AsyncListener() { Close(); }

bool AsyncListener::Listen(uint16_t port, int backlog, int& error) {
    asio::error_code ec;
    auto& acceptor = *acceptor_;
    // One socket for IPv6 and IPv4 where the machine has IPv6; IPv4 alone otherwise.
    acceptor.open(asio::ip::tcp::v6(), ec);
    const bool dualStack = !ec;
    if (dualStack) {
        acceptor.set_option(asio::ip::v6_only(false), ec);
    } else {
        ec.clear();
        acceptor.open(asio::ip::tcp::v4(), ec);
    }
    // Address reuse lets a restarted server bind while old connections linger in
    // TIME_WAIT; on this platform it never lets two servers listen on one port.
    if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) {
        const asio::ip::address any = dualStack ? asio::ip::address(asio::ip::address_v6::any())
                                                : asio::ip::address(asio::ip::address_v4::any());
        acceptor.bind(asio::ip::tcp::endpoint(any, port), ec);
    }
    if (!ec) acceptor.listen(backlog, ec);
    if (!ec) {
        // Connections are handed over once their first bytes are there, so the request
        // can be read at once instead of after another readiness notification.
        int seconds = 5;
        ::setsockopt(acceptor.native_handle(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
    }
    if (!ec) acceptor.non_blocking(true, ec);
    if (ec) {
        error = ec.value();
        asio::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    return true;
}

std::string PeerAddressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        if (::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text)) return text;
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        // An IPv4 client of the dual-stack socket is shown as it would be on IPv4.
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
            if (::inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text)) return text;
        } else if (::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text)) {
            return text;
        }
    }
    return std::string();
}

bool AsyncListener::Accept(AsyncStream& into) {
    // Accepted non-blocking in one call; every later call on it says MSG_DONTWAIT anyway.
    int fd;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    do {
        length = sizeof address;
        fd = ::accept4(acceptor_->native_handle(), reinterpret_cast<sockaddr*>(&address), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // Taken from the accept itself: no query per connection later.
    return into.Assign(fd, PeerAddressText(address), lastError_);
}

bool AsyncListener::IsOpen() const { return acceptor_->is_open(); }

void AsyncListener::Select(int events) {
    events_ = events;
    if (!(events_ & kAccept)) return;
    WaitOnce(*acceptor_, asio::socket_base::wait_read, readArmed_, alive_, [this] {
        if (!(events_ & kAccept)) return;
        const auto token = alive_.Weak();
        OnAccept(0);
        if (!token.expired()) Select(events_);
    });
}

void AsyncListener::Close() {
    asio::error_code ignored;
    acceptor_->close(ignored);
    ForgetSelection();
}

}  // namespace tarnhollow
