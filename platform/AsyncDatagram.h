// A UDP socket on the server thread's event loop: non-blocking datagrams to and from
// IPv4 addresses, with readiness reported through the virtual OnReceive and OnSend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/AsyncSocket.h"

namespace tarnhollow {

// An IPv4 address in host byte order (0x7F000001 is 127.0.0.1) and a port.
struct Ipv4Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;
    bool operator==(const Ipv4Endpoint&) const = default;
};

class AsyncDatagram : public AsyncSocket {
public:
    explicit AsyncDatagram(asio::io_context& io);
    ~AsyncDatagram() override;

    // Opens a UDP socket bound to `port` on all local IPv4 addresses; 0 lets the system
    // pick a free port. On failure returns false with the errno value in `error`.
    bool Open(uint16_t port, int& error);
    // The port bound to; 0 when not open.
    uint16_t LocalPort() const;

    // Non-blocking send of one datagram: bytes sent, or -1 (LastError() tells why;
    // EAGAIN when the socket buffer is full).
    long SendTo(const char* bytes, size_t size, const Ipv4Endpoint& to);
    // Non-blocking receive of one datagram, cut to `size` when longer, with its sender:
    // bytes received, or -1 (EAGAIN when none is there).
    long ReceiveFrom(char* buffer, size_t size, Ipv4Endpoint& from);

    // Replaces the selected events (of kRead and kWrite).
    void Select(int events);
    bool IsOpen() const;
    void Close();

protected:
    virtual void OnReceive(int /*error*/) {}
    virtual void OnSend(int /*error*/) {}

private:
    struct Socket;
    std::unique_ptr<Socket> socket_;
};

}  // namespace tarnhollow
