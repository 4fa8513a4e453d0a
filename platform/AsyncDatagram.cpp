// UDP datagrams over Asio's reactor: readiness from the event loop, each send and
// receive a single non-blocking call on the descriptor.
#include "platform/AsyncDatagram.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/ReadinessWait.h"

namespace tarnhollow {

struct AsyncDatagram::Socket : asio::ip::udp::socket {
    using basic_datagram_socket::basic_datagram_socket;
};

AsyncDatagram::AsyncDatagram(asio::io_context& io) : AsyncSocket(io), socket_(std::make_unique<Socket>(io)) {}

AsyncDatagram::~AsyncDatagram() { Close(); }

bool AsyncDatagram::Open(uint16_t port, int& error) {
    asio::error_code ec;
    auto& socket = *socket_;
    socket.open(asio::ip::udp::v4(), ec);
    if (!ec) socket.bind(asio::ip::udp::endpoint(asio::ip::address_v4::any(), port), ec);
    if (!ec) socket.non_blocking(true, ec);
    if (!ec) return true;
    error = ec.value();
    asio::error_code ignored;
    socket.close(ignored);
    return false;
}

uint16_t AsyncDatagram::LocalPort() const {
    asio::error_code ec;
    const auto endpoint = socket_->local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

long AsyncDatagram::SendTo(const char* bytes, size_t size, const Ipv4Endpoint& to) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(to.address);
    address.sin_port = htons(to.port);
    for (;;) {
        const ssize_t n = ::sendto(socket_->native_handle(), bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) lastError_ = errno;
        return static_cast<long>(n);
    }
}

long AsyncDatagram::ReceiveFrom(char* buffer, size_t size, Ipv4Endpoint& from) {
    sockaddr_in address{};
    for (;;) {
        socklen_t length = sizeof address;
        const ssize_t n = ::recvfrom(socket_->native_handle(), buffer, size, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&address), &length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            lastError_ = errno;
            return -1;
        }
        from = {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
        return static_cast<long>(n);
    }
}

bool AsyncDatagram::IsOpen() const { return socket_->is_open(); }

void AsyncDatagram::Select(int events) {
    events_ = events;
    if (events_ & kRead) {
        WaitOnce(*socket_, asio::socket_base::wait_read, readArmed_, alive_, [this] {
            if (!(events_ & kRead)) return;
            const auto token = alive_.Weak();
            OnReceive(0);
            // Reported until the owner changes its selection, as on a stream.
            if (!token.expired()) Select(events_);
        });
    }
    if (events_ & kWrite) {
        WaitOnce(*socket_, asio::socket_base::wait_write, writeArmed_, alive_, [this] {
            if (!(events_ & kWrite)) return;
            events_ &= ~kWrite;
            OnSend(0);
        });
    }
}

void AsyncDatagram::Close() {
    asio::error_code ignored;
    socket_->close(ignored);
    ForgetSelection();
}

}  // namespace tarnhollow
