// The TCP socket as a connection's transport.
#pragma once

#include <memory>

#include "http/Transport.h"
#include "platform/AsyncStream.h"

namespace tarnhollow {

class TcpTransport : public Transport, public AsyncStream {
public:
    explicit TcpTransport(asio::io_context& io);
    ~TcpTransport() override;

    void Attach(TransportEvents* events) override { connection_ = events; }
    long Receive(char* buffer, size_t size) override;
    long Send(const char* bytes, size_t size) override;
    long SendFile(int fd, long long& offset, size_t count) override;
    void SetMoreToFollow(bool more) override { AsyncStream::SetMoreToFollow(more); }
    void WantRead() override;
    void WantWrite() override;
    void ShutDown() override;
    void WantNothing() override { Select(0); }
    Transport::Leftover DiscardInput() override;
    void EndSending() override;
    std::wstring PeerAddress() const override;

protected:
    void OnReceive(int error) override;
    void OnSend(int error) override;
    void OnClose(int error) override;

private:
    TransportEvents* connection_ = nullptr;
};

}  // namespace tarnhollow
