// The server's asynchronous socket: a TCP socket on the server thread's event loop that
// reports readiness through the virtual OnAccept, OnReceive, OnSend and OnClose, for the
// events its owner has selected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace asio {
class io_context;
}

namespace tarnhollow {

class AsyncSocket {
public:
    enum Event : int { kRead = 1, kWrite = 2, kAccept = 8, kClose = 32 };

    explicit AsyncSocket(asio::io_context& io);
    virtual ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    // Binds a TCP socket to `port` on all local IPv4 addresses and listens. On failure
    // returns false with the errno value in `error`.
    bool Listen(uint16_t port, int backlog, int& error);

    // Accepts one pending connection into `into` (which must hold no socket yet), with
    // its peer's address. Returns false with LastError() set when none could be accepted.
    bool Accept(AsyncSocket& into);

    // Replaces the selected events; readiness for them is reported until changed.
    void Select(int events);

    // Non-blocking receive: bytes received, 0 when the peer has closed, -1 on error
    // (LastError() tells which; EAGAIN means nothing is there yet).
    long Receive(char* buffer, size_t size);
    // Non-blocking send: bytes sent, or -1 (EAGAIN when the socket buffer is full).
    long Send(const char* bytes, size_t size);
    // Sends up to `count` bytes of the file `fd` from `offset`, advancing it; as Send.
    long SendFile(int fd, long long& offset, size_t count);

    // What DiscardInput found.
    enum class Leftover { None, PeerFinished, Unread };
    // Reads and discards what the peer sent that nobody read, at most the per-wake-up
    // bound: nothing there, the peer's end (or an error), or bytes with more to come.
    Leftover DiscardInput();
    // Ends the sending direction; the peer's input can still be read.
    void EndSending();
    void Close();

    // Bounds on input read and discarded while only a close is awaited: per readiness
    // notification, and in all (past it the peer is cut off with a close notification).
    void SetDiscardLimits(size_t perWakeup, size_t total) {
        discardPerWakeup_ = perWakeup;
        discardLimit_ = total;
    }
    bool IsOpen() const;

    int LastError() const { return lastError_; }
    // The peer's IPv4 address in dotted form, as accepted; empty when unknown.
    const std::string& PeerAddress() const { return peerAddress_; }

    asio::io_context& Context() { return io_; }

protected:
    virtual void OnAccept(int /*error*/) {}
    virtual void OnReceive(int /*error*/) {}
    virtual void OnSend(int /*error*/) {}
    virtual void OnClose(int /*error*/) {}

private:
    struct Impl;
    void ArmRead();
    void ArmWrite();
    void HandleReadable();
    void HandleWritable();

    asio::io_context& io_;
    std::unique_ptr<Impl> impl_;
    int events_ = 0;
    int lastError_ = 0;
    bool readArmed_ = false;
    bool writeArmed_ = false;
    bool writePosted_ = false;
    bool lastSendBlocked_ = false;
    bool peerClosed_ = false;
    // The peer ended its input while we still send: not a close, nothing more to read.
    bool peerFinished_ = false;
    size_t discardPerWakeup_ = 64 * 1024;
    size_t discardLimit_ = static_cast<size_t>(-1);
    size_t discarded_ = 0;
    std::string peerAddress_;
    // Handlers waiting in the event loop hold a weak reference to this token, so a
    // socket destroyed meanwhile is never touched by them.
    std::shared_ptr<AsyncSocket*> alive_;
};

}  // namespace tarnhollow
