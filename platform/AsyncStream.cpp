// Readiness-based TCP connections over Asio's reactor: sends tried at once until one
// blocks, a close watched while an answer goes out, unwanted input discarded in bounds.
#include "platform/AsyncStream.h"

#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/ReadinessWait.h"

namespace tarnhollow {

struct AsyncStream::Socket : asio::ip::tcp::socket {
    using basic_stream_socket::basic_stream_socket;
};

AsyncStream::AsyncStream(asio::io_context& io) : AsyncSocket(io), socket_(std::make_unique<Socket>(io)) {}

AsyncStream::~AsyncStream() { Close(); }

bool AsyncStream::Assign(int fd, std::string peerAddress, int&) {
    fd_ = fd;
    peerAddress_ = std::move(peerAddress);
    return true;
}

bool AsyncStream::Registered() {
    if (socket_->is_open()) return true;
    if (fd_ < 0) return false;
    asio::error_code ec;
    socket_->assign(asio::ip::tcp::v4(), fd_, ec);
    if (ec) lastError_ = ec.value();
    return !ec;
}

bool AsyncStream::IsOpen() const { return fd_ >= 0; }

void AsyncStream::Select(int events) {
    events_ = events;
    // While a send is tried at once (see ArmWrite) nothing needs watching for a close:
    // the send itself reports it. The reactor watches only once a send has blocked.
    const bool closeWatch = (events_ & kClose) && (!(events_ & kWrite) || (lastSendBlocked_ && !peerFinished_));
    if ((events_ & kRead) || closeWatch) ArmRead();
    if (events_ & kWrite) ArmWrite();
}

void AsyncStream::ArmRead() {
    if (!Registered()) return;
    WaitOnce(*socket_, asio::socket_base::wait_read, readArmed_, alive_, [this] { HandleReadable(); });
}

void AsyncStream::ArmWrite() {
    if (!IsOpen()) return;
    if (!lastSendBlocked_) {
        // A socket that has not filled its buffer is almost always writable: try at
        // once from the event loop instead of asking the reactor first.
        if (writePosted_) return;
        writePosted_ = true;
        asio::post(io_, alive_.Guard([this] {
            writePosted_ = false;
            HandleWritable();
        }));
        return;
    }
    if (!Registered()) return;
    WaitOnce(*socket_, asio::socket_base::wait_write, writeArmed_, alive_, [this] {
        lastSendBlocked_ = false;
        HandleWritable();
    });
}

void AsyncStream::HandleReadable() {
    const auto token = alive_.Weak();
    if (events_ & kRead) {
        peerClosed_ = false;
        OnReceive(0);
        if (token.expired()) return;
        if (peerClosed_ && (events_ & kClose)) {
            OnClose(0);
            return;
        }
    } else if (events_ & kClose) {
        if (!DiscardWhileAwaitingClose()) return;
    } else {
        return;
    }
    if (token.expired()) return;
    if (events_ & (kRead | kClose)) ArmRead();
}

bool AsyncStream::DiscardWhileAwaitingClose() {
    // Bytes the peer sends meanwhile are not wanted. They are discarded within bounds,
    // so a peer that sends without end cannot keep the server thread busy.
    const Drained drained = DrainInput(discarded_ < discardLimit_ ? discardLimit_ - discarded_ : 0);
    discarded_ += drained.bytes;
    if (discarded_ > discardLimit_) {
        OnClose(0);
        return false;
    }
    switch (drained.end) {
        case Drained::End::MoreLater:
            return true;
        case Drained::End::PeerEnd:
            if (events_ & kWrite) {
                // The peer has sent all it will (a half-close): the answer still goes
                // out whole, and its end is not read again.
                peerFinished_ = true;
                return false;
            }
            OnClose(0);
            return false;
        case Drained::End::Failed:
            OnClose(drained.error);
            return false;
    }
    return false;
}

AsyncStream::Drained AsyncStream::DrainInput(size_t stopPast) {
    char scratch[4096];
    Drained drained;
    size_t budget = discardPerWakeup_;
    while (budget > 0) {
        const ssize_t n =
            ::recv(fd_, scratch, std::min(sizeof scratch, budget), MSG_DONTWAIT);
        if (n > 0) {
            budget -= static_cast<size_t>(n);
            drained.bytes += static_cast<size_t>(n);
            if (drained.bytes > stopPast) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        drained.end = n == 0 ? Drained::End::PeerEnd : Drained::End::Failed;
        drained.error = n == 0 ? 0 : errno;
        break;
    }
    return drained;
}

void AsyncStream::HandleWritable() {
    if (!(events_ & kWrite) || !IsOpen()) return;
    events_ &= ~kWrite;
    OnSend(0);
}

long AsyncStream::Receive(char* buffer, size_t size) {
    for (;;) {
        ssize_t n = ::recv(fd_, buffer, size, MSG_DONTWAIT);
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

long AsyncStream::Send(const char* bytes, size_t size) {
    for (;;) {
        ssize_t n = ::send(fd_, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL | (moreToFollow_ ? MSG_MORE : 0));
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

long AsyncStream::SendFile(int fd, long long& offset, size_t count) {
    for (;;) {
        off_t position = static_cast<off_t>(offset);
        ssize_t n = ::sendfile(fd_, fd, &position, count);
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

AsyncStream::Leftover AsyncStream::DiscardInput() {
    if (fd_ < 0 || peerFinished_) return Leftover::PeerFinished;
    const Drained drained = DrainInput(static_cast<size_t>(-1));
    if (drained.end != Drained::End::MoreLater) return Leftover::PeerFinished;
    return drained.bytes > 0 ? Leftover::Unread : Leftover::None;
}

void AsyncStream::EndSending() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void AsyncStream::Close() {
    if (socket_->is_open()) {
        asio::error_code ignored;
        socket_->close(ignored);
    } else if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    ForgetSelection();
}

}  // namespace tarnhollow
