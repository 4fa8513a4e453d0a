// What the sockets of the server thread's event loop share (listener, stream, datagram
// socket): the events their owner selects, whose readiness each reports through its own
// virtual handlers, and the error of the last call that failed.
#pragma once

#include "platform/AliveToken.h"

namespace asio {
class io_context;
}

namespace tarnhollow {

class AsyncSocket {
public:
    // kAccept is selected on a listener; kRead, kWrite and kClose on a stream; kRead and
    // kWrite on a datagram socket. Write readiness is reported once per selection, the
    // others until the selection changes.
    enum Event : int { kRead = 1, kWrite = 2, kAccept = 8, kClose = 32 };

    virtual ~AsyncSocket() = default;
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    int LastError() const { return lastError_; }
    asio::io_context& Context() { return io_; }

protected:
    explicit AsyncSocket(asio::io_context& io) : io_(io), alive_(this) {}
    // After a close, which cancels every wait: nothing is selected or waited for.
    void ForgetSelection() {
        events_ = 0;
        readArmed_ = writeArmed_ = false;
    }

    asio::io_context& io_;
    int events_ = 0;
    int lastError_ = 0;
    // A readiness wait is out in the reactor; closing the socket clears them.
    bool readArmed_ = false;
    bool writeArmed_ = false;
    // Handlers waiting in the event loop are guarded by it, so a socket destroyed
    // meanwhile is never touched by them.
    AliveToken<AsyncSocket> alive_;
};

}  // namespace tarnhollow
