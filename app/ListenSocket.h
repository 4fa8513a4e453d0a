// The listening TCP socket: accepts each incoming connection into a new
// CConnectionSocket that owns itself from then on.
#pragma once

#include <memory>

#include "platform/AsyncSocket.h"

namespace tarnhollow {

class CServer;

class CListenSocket : public AsyncSocket {
public:
    CListenSocket(asio::io_context& io, CServer& server);
    ~CListenSocket() override;

protected:
    void OnAccept(int error) override;

private:
    struct RetryTimer;
    CServer& server_;
    std::unique_ptr<RetryTimer> retry_;
};

}  // namespace tarnhollow
