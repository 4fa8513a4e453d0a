// What a connection needs from the channel its request arrives on: the TCP socket, or
// a channel of the relay. The connection logic is written once against this.
#pragma once

#include <cstddef>
#include <string>

namespace tarnhollow {

// Notifications a transport delivers to its connection, on the server thread.
class TransportEvents {
public:
    virtual ~TransportEvents() = default;
    virtual void OnReceive() = 0;
    virtual void OnSend() = 0;
    virtual void OnClose() = 0;
    // The request was not completed in time; the connection closes without an answer.
    virtual void OnTimeout() = 0;
};

class Transport {
public:
    // Results other than a byte count.
    static constexpr long kWouldBlock = -1;
    static constexpr long kFailed = -2;
    static constexpr long kUnsupported = -3;

    virtual ~Transport() = default;

    // Set once by the connection that owns the transport.
    virtual void Attach(TransportEvents* events) = 0;

    // Bytes received into `buffer`, 0 when nothing arrived, or one of the results above.
    virtual long Receive(char* buffer, size_t size) = 0;
    // Bytes sent, or one of the results above.
    virtual long Send(const char* bytes, size_t size) = 0;
    // Sends straight from a file when the channel can; kUnsupported otherwise.
    virtual long SendFile(int /*fd*/, long long& /*offset*/, size_t /*count*/) { return kUnsupported; }
    // Whether the bytes of the next Send are followed at once by more (a file after its
    // head), so the channel may hold them to go out together.
    virtual void SetMoreToFollow(bool /*more*/) {}

    // Wait for the request (read and close events) or for room to send (write and close).
    // While a send waits for room, the peer's end of its input is not a close: a peer
    // that sends its request and then its end still gets the whole answer.
    virtual void WantRead() = 0;
    virtual void WantWrite() = 0;
    // Ends the exchange in both directions and stops all notifications.
    virtual void ShutDown() = 0;
    // No notifications until the next WantRead or WantWrite: while an answer is being
    // finished elsewhere, input the peer sends meanwhile waits unread.
    virtual void WantNothing() {}

    // What is left of the peer's input when the answer has gone out.
    enum class Leftover { None, PeerFinished, Unread };
    // Reads and discards (a bounded amount of) input nobody asked for: None when there
    // was none, PeerFinished when the peer's input has ended (or the peer is gone),
    // Unread when bytes were discarded and more may follow.
    virtual Leftover DiscardInput() { return Leftover::None; }
    // Ends the sending direction only, so the peer sees the end of the answer while its
    // own input can still be read and discarded.
    virtual void EndSending() {}

    // The peer's address (dotted IPv4, or IPv6 text), empty when unknown.
    virtual std::wstring PeerAddress() const = 0;
};

}  // namespace tarnhollow
