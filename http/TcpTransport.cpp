// Forwards socket readiness to the connection and turns socket results into the
// transport's results.
#include "http/TcpTransport.h"

#include <asio.hpp>
#include <cerrno>

#include "http/Limits.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

TcpTransport::TcpTransport(asio::io_context& io) : AsyncStream(io) {
    SetDiscardLimits(limits::kDiscardPerWakeupBytes, limits::kMaxDiscardedBytes);
}

TcpTransport::~TcpTransport() = default;

long TcpTransport::Receive(char* buffer, size_t size) {
    long n = AsyncStream::Receive(buffer, size);
    if (n >= 0) return n;
    return (LastError() == EAGAIN || LastError() == EWOULDBLOCK) ? 0 : kFailed;
}

long TcpTransport::Send(const char* bytes, size_t size) {
    long n = AsyncStream::Send(bytes, size);
    if (n >= 0) return n;
    return (LastError() == EAGAIN || LastError() == EWOULDBLOCK) ? kWouldBlock : kFailed;
}

long TcpTransport::SendFile(int fd, long long& offset, size_t count) {
    long n = AsyncStream::SendFile(fd, offset, count);
    if (n >= 0) return n;
    if (LastError() == EAGAIN || LastError() == EWOULDBLOCK) return kWouldBlock;
    // Files on some file systems cannot be sent this way; the connection then reads them.
    if (LastError() == EINVAL || LastError() == ENOSYS) return kUnsupported;
    return kFailed;
}

void TcpTransport::WantRead() { Select(kRead | kClose); }

void TcpTransport::WantWrite() { Select(kWrite | kClose); }

void TcpTransport::ShutDown() {
    // Closing the socket, which follows at once, ends both directions; an explicit
    // shutdown would only cost another call on every connection.
    Select(0);
}

Transport::Leftover TcpTransport::DiscardInput() {
    switch (AsyncStream::DiscardInput()) {
        case AsyncStream::Leftover::None: return Transport::Leftover::None;
        case AsyncStream::Leftover::PeerFinished: return Transport::Leftover::PeerFinished;
        case AsyncStream::Leftover::Unread: return Transport::Leftover::Unread;
    }
    return Transport::Leftover::PeerFinished;
}

void TcpTransport::EndSending() { AsyncStream::EndSending(); }

std::wstring TcpTransport::PeerAddress() const { return AnsiToWide(AsyncStream::PeerAddress()); }

void TcpTransport::OnReceive(int) {
    if (connection_) connection_->OnReceive();
}

void TcpTransport::OnSend(int) {
    if (connection_) connection_->OnSend();
}

void TcpTransport::OnClose(int) {
    if (connection_) connection_->OnClose();
}

}  // namespace tarnhollow
