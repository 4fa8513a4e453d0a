// The listening TCP socket: accepts each incoming connection into a new
// CConnectionSocket that owns itself from then on.
#pragma once

#include <memory>

#include "platform/AsyncListener.h"

namespace tarnhollow {

class CServer;

class CListenSocket : public AsyncListener {
public:
    CListenSocket(asio::io_context& io, CServer& server);
    ~CListenSocket() override;

    // Accepts again once the server has room, after a pause at its connection bound.
    void ResumeAccepting();

protected:
    void OnAccept(int error) override;

private:
    struct RetryTimer;
    CServer& server_;
    std::unique_ptr<RetryTimer> retry_;
    bool paused_ = false;
};

}  // namespace tarnhollow
