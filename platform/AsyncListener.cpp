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
    acceptor.open(asio::ip::tcp::v4(), ec);
    // Address reuse lets a restarted server bind while old connections linger in
    // TIME_WAIT; on this platform it never lets two servers listen on one port.
    if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(asio::ip::tcp::endpoint(asio::ip::address_v4::any(), port), ec);
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

bool AsyncListener::Accept(AsyncStream& into) {
    // Accepted non-blocking in one call; every later call on it says MSG_DONTWAIT anyway.
    int fd;
    sockaddr_in address{};
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
    char text[INET_ADDRSTRLEN] = {};
    const bool known = address.sin_family == AF_INET && ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return into.Assign(fd, known ? text : "", lastError_);
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
