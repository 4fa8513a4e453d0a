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
    std::shared_ptr<CListenSocket*> owner;
};

CListenSocket::CListenSocket(asio::io_context& io, CServer& server)
    : AsyncSocket(io), server_(server), retry_(std::make_unique<RetryTimer>(io)) {
    retry_->owner = std::make_shared<CListenSocket*>(this);
}

CListenSocket::~CListenSocket() {
    retry_->owner.reset();
    retry_->timer.cancel();
}

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
                retry_->timer.async_wait(
                    [token = std::weak_ptr<CListenSocket*>(retry_->owner)](const asio::error_code& ec) {
                        auto owner = token.lock();
                        if (!owner || ec == asio::error::operation_aborted) return;
                        (*owner)->Select(kAccept);
                    });
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
