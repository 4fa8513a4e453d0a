// Readiness-based asynchronous sockets over Asio's reactor.
#include "platform/AsyncSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio.hpp>
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
    do {
        fd = ::accept4(impl_->acceptor.native_handle(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
    return true;
}

bool AsyncSocket::IsOpen() const { return impl_->listening ? impl_->acceptor.is_open() : impl_->socket.is_open(); }

void AsyncSocket::Select(int events) {
    events_ = events;
    // While a send is tried at once (see ArmWrite) nothing needs watching for a close:
    // the send itself reports it. The reactor watches only once a send has blocked.
    const bool closeWatch = (events_ & kClose) && (!(events_ & kWrite) || lastSendBlocked_);
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
        // Only a close is awaited: bytes the peer sends meanwhile are not wanted.
        char scratch[4096];
        for (;;) {
            ssize_t n = ::recv(impl_->socket.native_handle(), scratch, sizeof scratch, MSG_DONTWAIT);
            if (n > 0) continue;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
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

bool AsyncSocket::ShutDown() {
    if (!impl_->socket.is_open()) return false;
    const int fd = impl_->socket.native_handle();
    char scratch[4096];
    // Bounded: a peer that keeps sending is cut off rather than allowed to hold us.
    for (int i = 0; i < 64; ++i) {
        ssize_t n = ::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n <= 0) break;
    }
    // Closing the socket, which follows at once, ends both directions; an explicit
    // shutdown would only cost another call on every connection.
    return true;
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

std::string AsyncSocket::PeerAddress() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getpeername(impl_->socket.native_handle(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET) {
        return std::string();
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

}  // namespace tarnhollow
