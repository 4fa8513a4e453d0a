// The connected side of the event loop's TCP sockets: non-blocking receive and send
// (from memory or straight from a file), with readiness reported through the virtual
// OnReceive, OnSend and OnClose for the events its owner has selected.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/AsyncSocket.h"

namespace tarnhollow {

class AsyncListener;

class AsyncStream : public AsyncSocket {
public:
    explicit AsyncStream(asio::io_context& io);
    ~AsyncStream() override;

    // Replaces the selected events (of kRead, kWrite and kClose).
    void Select(int events);

    // Non-blocking receive: bytes received, 0 when the peer has closed, -1 on error
    // (LastError() tells which; EAGAIN means nothing is there yet).
    long Receive(char* buffer, size_t size);
    // Non-blocking send: bytes sent, or -1 (EAGAIN when the socket buffer is full).
    long Send(const char* bytes, size_t size);
    // Sends that are followed at once by more are held by the kernel to go out with it
    // (a lone head before a file would leave a small segment that slows the stream).
    void SetMoreToFollow(bool more) { moreToFollow_ = more; }
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

    // The peer's address as accepted (dotted IPv4, IPv4-mapped peers included, else
    // IPv6 text); empty when unknown.
    const std::string& PeerAddress() const { return peerAddress_; }

protected:
    virtual void OnReceive(int /*error*/) {}
    virtual void OnSend(int /*error*/) {}
    virtual void OnClose(int /*error*/) {}

private:
    // The listener hands over each connection it accepts.
    friend class AsyncListener;
    // Takes over `fd`, a connected socket, with its peer's address. Returns true; the
    // error is for a failure to join the event loop, which now comes later.
    bool Assign(int fd, std::string peerAddress, int& error);
    // The socket joins the event loop's poll set only when something must be waited
    // for: an exchange that completes at once (the request was there on accepting, the
    // answer fitted the socket's buffer) costs no registration and no removal. False
    // when it cannot join.
    bool Registered();

    // How a bounded discard of the peer's input ended.
    struct Drained {
        enum class End { MoreLater, PeerEnd, Failed };
        size_t bytes = 0;
        End end = End::MoreLater;
        int error = 0;
    };
    // Reads and drops input, at most the per-wake-up bound, stopping early once more
    // than `stopPast` bytes are gone.
    Drained DrainInput(size_t stopPast);

    struct Socket;
    void ArmRead();
    void ArmWrite();
    void HandleReadable();
    // Only a close is awaited: false once the watch is over (closed, or the peer
    // finished while an answer still goes out).
    bool DiscardWhileAwaitingClose();
    void HandleWritable();

    std::unique_ptr<Socket> socket_;
    // The connection; owned by `socket_` once registered.
    int fd_ = -1;
    bool writePosted_ = false;
    bool lastSendBlocked_ = false;
    bool moreToFollow_ = false;
    bool peerClosed_ = false;
    // The peer ended its input while we still send: not a close, nothing more to read.
    bool peerFinished_ = false;
    size_t discardPerWakeup_ = 64 * 1024;
    size_t discardLimit_ = static_cast<size_t>(-1);
    size_t discarded_ = 0;
    std::string peerAddress_;
};

}  // namespace tarnhollow
