// The listening side of the event loop's TCP sockets: listens on a port and accepts
// each pending connection into a stream socket, reporting them through OnAccept.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/AsyncSocket.h"
#include "platform/AsyncStream.h"

namespace tarnhollow {

// A peer's address as text: dotted IPv4, also for an IPv4 client of an IPv6 socket;
// IPv6 otherwise; empty when unknown.
std::string PeerAddressText(const sockaddr_storage& address);

class AsyncListener : public AsyncSocket {
public:
    explicit AsyncListener(asio::io_context& io);
    ~AsyncListener() override;

    // Binds a TCP socket to `port` on all local addresses, IPv6 and IPv4 on one socket
    // where the machine has IPv6 (IPv4 alone otherwise), and listens. On failure returns
    // false with the errno value in `error`.
    bool Listen(uint16_t port, int backlog, int& error);

    // Accepts one pending connection into `into` (which must hold no socket yet), with
    // its peer's address. Returns false with LastError() set when none could be accepted.
    bool Accept(AsyncStream& into);

    // kAccept, or 0 to leave pending connections waiting.
    void Select(int events);
    bool IsOpen() const;
    void Close();

protected:
    virtual void OnAccept(int /*error*/) {}

private:
    struct Acceptor;
    std::unique_ptr<Acceptor> acceptor_;
};

}  // namespace tarnhollow
