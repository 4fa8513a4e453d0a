// Accepting connections, and riding out a shortage of file descriptors.
#include "app/ListenSocket.h"

#include <asio.hpp>
#include <cerrno>

#include "app/Server.h"
#include "http/ConnectionSocket.h"
#include "http/Limits.h"
#include "http/TcpTransport.h"

namespace tarnhollow {

namespace {
// Accepting a few connections per readiness notification saves a trip through the
// event loop for each one under load, without starving the connections already open.
constexpr int kAcceptsPerNotification = 16;
}  // namespace

struct CListenSocket::RetryTimer {
    explicit RetryTimer(asio::io_context& io) : timer(io) {}
    asio::steady_timer timer;
};

CListenSocket::CListenSocket(asio::io_context& io, CServer& server)
    : AsyncListener(io), server_(server), retry_(std::make_unique<RetryTimer>(io)) {}

// The timer's handler is guarded by the socket's alive token: one already queued when
// the listener goes does nothing.
CListenSocket::~CListenSocket() = default;

void CListenSocket::OnAccept(int) {
    for (int i = 0; i < kAcceptsPerNotification; ++i) {
        if (!server_.HasRoomForConnection()) {
            // At the bound, new connections wait in the backlog until one ends.
            paused_ = true;
            Select(0);
            return;
        }
        auto transport = std::make_unique<TcpTransport>(Context());
        if (!Accept(*transport)) {
            const int error = LastError();
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
                // Out of descriptors: the pending connection stays queued. Stop asking
                // (readiness would report it again at once) and try again shortly.
                Select(0);
                retry_->timer.expires_after(std::chrono::milliseconds(limits::kAcceptRetryMilliseconds));
                retry_->timer.async_wait(alive_.Guard([this](const asio::error_code& ec) {
                    if (ec != asio::error::operation_aborted) Select(kAccept);
                }));
            }
            return;
        }
        server_.AdoptConnection(std::move(transport));
    }
}

void CListenSocket::ResumeAccepting() {
    if (!paused_ || !server_.HasRoomForConnection()) return;
    paused_ = false;
    Select(kAccept);
}

}  // namespace tarnhollow
