// Readiness-based asynchronous sockets over Asio's reactor.
#include "platform/AsyncSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio.hpp>
#include <algorithm>
#include <cerrno>

namespace tarnhollow {

struct AsyncSocket::Impl {
    explicit Impl(asio::io_context& io) : acceptor(io), socket(io) {}
    asio::ip::tcp::acceptor acceptor;
    asio::ip::tcp::socket socket;
    bool listening = false;
};

AsyncSocket::AsyncSocket(asio::io_context& io)
    : io_(io), impl_(std::make_unique<Impl>(io)), alive_(std::make_shared<AsyncSocket*>(this)) {}

AsyncSocket::~AsyncSocket() {
    alive_.reset();
    Close();
}

bool AsyncSocket::Listen(uint16_t port, int backlog, int& error) {
    asio::error_code ec;
    auto& acceptor = impl_->acceptor;
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
    impl_->listening = true;
    return true;
}

bool AsyncSocket::Accept(AsyncSocket& into) {
    // Accepted non-blocking in one call; every later call on it says MSG_DONTWAIT anyway.
    int fd;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    do {
        length = sizeof address;
        fd = ::accept4(impl_->acceptor.native_handle(), reinterpret_cast<sockaddr*>(&address), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    asio::error_code ec;
    into.impl_->socket.assign(asio::ip::tcp::v4(), fd, ec);
    if (ec) {
        lastError_ = ec.value();
        ::close(fd);
        return false;
    }
    // Taken from the accept itself: no query per connection later.
    char text[INET_ADDRSTRLEN] = {};
    if (address.sin_family == AF_INET && ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text)) {
        into.peerAddress_ = text;
    }
    return true;
}

bool AsyncSocket::IsOpen() const { return impl_->listening ? impl_->acceptor.is_open() : impl_->socket.is_open(); }

void AsyncSocket::Select(int events) {
    events_ = events;
    // While a send is tried at once (see ArmWrite) nothing needs watching for a close:
    // the send itself reports it. The reactor watches only once a send has blocked.
    const bool closeWatch = (events_ & kClose) && (!(events_ & kWrite) || (lastSendBlocked_ && !peerFinished_));
    if ((events_ & (kRead | kAccept)) || closeWatch) ArmRead();
    if (events_ & kWrite) ArmWrite();
}

void AsyncSocket::ArmRead() {
    if (readArmed_ || !IsOpen()) return;
    readArmed_ = true;
    auto handler = [token = std::weak_ptr<AsyncSocket*>(alive_)](const asio::error_code& ec) {
        auto alive = token.lock();
        if (!alive || ec == asio::error::operation_aborted) return;
        AsyncSocket* self = *alive;
        self->readArmed_ = false;
        self->HandleReadable();
    };
    if (impl_->listening) {
        impl_->acceptor.async_wait(asio::socket_base::wait_read, handler);
    } else {
        impl_->socket.async_wait(asio::socket_base::wait_read, handler);
    }
}

void AsyncSocket::ArmWrite() {
    if (!IsOpen() || impl_->listening) return;
    if (!lastSendBlocked_) {
        // A socket that has not filled its buffer is almost always writable: try at
        // once from the event loop instead of asking the reactor first.
        if (writePosted_) return;
        writePosted_ = true;
        asio::post(io_, [token = std::weak_ptr<AsyncSocket*>(alive_)] {
            auto alive = token.lock();
            if (!alive) return;
            AsyncSocket* self = *alive;
            self->writePosted_ = false;
            self->HandleWritable();
        });
        return;
    }
    if (writeArmed_) return;
    writeArmed_ = true;
    impl_->socket.async_wait(asio::socket_base::wait_write,
                             [token = std::weak_ptr<AsyncSocket*>(alive_)](const asio::error_code& ec) {
                                 auto alive = token.lock();
                                 if (!alive || ec == asio::error::operation_aborted) return;
                                 AsyncSocket* self = *alive;
                                 self->writeArmed_ = false;
                                 self->lastSendBlocked_ = false;
                                 self->HandleWritable();
                             });
}

void AsyncSocket::HandleReadable() {
    std::weak_ptr<AsyncSocket*> token = alive_;
    if (events_ & kAccept) {
        OnAccept(0);
    } else if (events_ & kRead) {
        peerClosed_ = false;
        OnReceive(0);
        if (token.expired()) return;
        if (peerClosed_ && (events_ & kClose)) {
            OnClose(0);
            return;
        }
    } else if (events_ & kClose) {
        // Only a close is awaited: bytes the peer sends meanwhile are not wanted. They
        // are discarded within bounds, so a peer that sends without end cannot keep the
        // server thread busy.
        char scratch[4096];
        size_t budget = discardPerWakeup_;
        while (budget > 0) {
            const ssize_t n = ::recv(impl_->socket.native_handle(), scratch, std::min(sizeof scratch, budget),
                                     MSG_DONTWAIT);
            if (n > 0) {
                budget -= static_cast<size_t>(n);
                discarded_ += static_cast<size_t>(n);
                if (discarded_ > discardLimit_) {
                    OnClose(0);
                    return;
                }
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n == 0 && (events_ & kWrite)) {
                // The peer has sent all it will (a half-close): the answer still goes
                // out whole, and its end is not read again.
                peerFinished_ = true;
                return;
            }
            OnClose(n == 0 ? 0 : errno);
            return;
        }
    } else {
        return;
    }
    if (token.expired()) return;
    if (events_ & (kRead | kAccept | kClose)) ArmRead();
}

void AsyncSocket::HandleWritable() {
    if (!(events_ & kWrite) || !IsOpen()) return;
    events_ &= ~kWrite;
    OnSend(0);
}

long AsyncSocket::Receive(char* buffer, size_t size) {
    for (;;) {
        ssize_t n = ::recv(impl_->socket.native_handle(), buffer, size, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            lastError_ = errno;
            if (errno != EAGAIN && errno != EWOULDBLOCK) peerClosed_ = true;
            return -1;
        }
        if (n == 0 && size > 0) peerClosed_ = true;
        return static_cast<long>(n);
    }
}

long AsyncSocket::Send(const char* bytes, size_t size) {
    for (;;) {
        ssize_t n = ::send(impl_->socket.native_handle(), bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            lastError_ = errno;
            lastSendBlocked_ = errno == EAGAIN || errno == EWOULDBLOCK;
            return -1;
        }
        lastSendBlocked_ = static_cast<size_t>(n) < size;
        return static_cast<long>(n);
    }
}

long AsyncSocket::SendFile(int fd, long long& offset, size_t count) {
    for (;;) {
        off_t position = static_cast<off_t>(offset);
        ssize_t n = ::sendfile(impl_->socket.native_handle(), fd, &position, count);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            lastError_ = errno;
            lastSendBlocked_ = errno == EAGAIN || errno == EWOULDBLOCK;
            return -1;
        }
        offset = position;
        lastSendBlocked_ = static_cast<size_t>(n) < count;
        return static_cast<long>(n);
    }
}

AsyncSocket::Leftover AsyncSocket::DiscardInput() {
    if (!impl_->socket.is_open()) return Leftover::PeerFinished;
    if (peerFinished_) return Leftover::PeerFinished;
    const int fd = impl_->socket.native_handle();
    char scratch[4096];
    size_t budget = discardPerWakeup_;
    Leftover found = Leftover::None;
    while (budget > 0) {
        const ssize_t n = ::recv(fd, scratch, std::min(sizeof scratch, budget), MSG_DONTWAIT);
        if (n > 0) {
            budget -= static_cast<size_t>(n);
            found = Leftover::Unread;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return found;
        return Leftover::PeerFinished;
    }
    return found;
}

void AsyncSocket::EndSending() {
    if (impl_->socket.is_open()) ::shutdown(impl_->socket.native_handle(), SHUT_WR);
}

void AsyncSocket::Close() {
    asio::error_code ignored;
    if (impl_->listening) {
        impl_->acceptor.close(ignored);
        impl_->listening = false;
    }
    impl_->socket.close(ignored);
    events_ = 0;
    readArmed_ = writeArmed_ = false;
}

}  // namespace tarnhollow
