// Forwards socket readiness to the connection and turns socket results into the
// transport's results.
#include "http/TcpTransport.h"

#include <asio.hpp>
#include <cerrno>

#include "http/Limits.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

struct TcpTransport::Deadline {
    explicit Deadline(asio::io_context& io) : timer(io) {}
    asio::steady_timer timer;
    // The timer's handler holds a weak reference, so an expiry already queued when the
    // transport goes never touches it.
    std::shared_ptr<TcpTransport*> owner;
};

TcpTransport::TcpTransport(asio::io_context& io) : AsyncSocket(io), deadline_(std::make_unique<Deadline>(io)) {
    deadline_->owner = std::make_shared<TcpTransport*>(this);
    deadline_->timer.expires_after(std::chrono::seconds(limits::kRequestTimeoutSeconds));
    deadline_->timer.async_wait(
        [token = std::weak_ptr<TcpTransport*>(deadline_->owner)](const asio::error_code& ec) {
            // Cancelled when the request completes; only a real expiry reaches the
            // connection, which then closes without an answer.
            auto owner = token.lock();
            if (!owner || ec == asio::error::operation_aborted || !(*owner)->events_) return;
            (*owner)->events_->OnClose();
        });
}

TcpTransport::~TcpTransport() {
    deadline_->owner.reset();
    deadline_->timer.cancel();
}

long TcpTransport::Receive(char* buffer, size_t size) {
    long n = AsyncSocket::Receive(buffer, size);
    if (n >= 0) return n;
    return (LastError() == EAGAIN || LastError() == EWOULDBLOCK) ? 0 : kFailed;
}

long TcpTransport::Send(const char* bytes, size_t size) {
    long n = AsyncSocket::Send(bytes, size);
    if (n >= 0) return n;
    return (LastError() == EAGAIN || LastError() == EWOULDBLOCK) ? kWouldBlock : kFailed;
}

long TcpTransport::SendFile(int fd, long long& offset, size_t count) {
    long n = AsyncSocket::SendFile(fd, offset, count);
    if (n >= 0) return n;
    if (LastError() == EAGAIN || LastError() == EWOULDBLOCK) return kWouldBlock;
    // Files on some file systems cannot be sent this way; the connection then reads them.
    if (LastError() == EINVAL || LastError() == ENOSYS) return kUnsupported;
    return kFailed;
}

void TcpTransport::WantRead() { Select(kRead | kClose); }

void TcpTransport::WantWrite() { Select(kWrite | kClose); }

void TcpTransport::RequestComplete() { deadline_->timer.cancel(); }

void TcpTransport::ShutDown() {
    AsyncSocket::ShutDown();
    Select(0);
}

std::wstring TcpTransport::PeerAddress() const { return AnsiToWide(AsyncSocket::PeerAddress()); }

void TcpTransport::OnReceive(int) {
    if (events_) events_->OnReceive();
}

void TcpTransport::OnSend(int) {
    if (events_) events_->OnSend();
}

void TcpTransport::OnClose(int) {
    if (events_) events_->OnClose();
}

}  // namespace tarnhollow
