// One HTTP exchange: reads one request through its transport, has it answered, sends
// the answer (streaming a file when there is one) and then deletes itself.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/Request.h"
#include "http/RequestDeadlines.h"
#include "http/ServerContext.h"
#include "http/Transport.h"

namespace tarnhollow {

// Ownership: a CConnectionSocket owns itself from construction; it owns its transport,
// its request record, its buffer and any open file. It ends through DeleteSelf, which
// hands the object to `deleter` (by default a plain delete) so the owner can free it
// outside the notification that ended it. Nothing else keeps a pointer to it.
class CConnectionSocket : public TransportEvents {
public:
    using Deleter = std::function<void(CConnectionSocket*)>;

    // `deadlines` (not owned, may be null) closes the connection when its request is not
    // complete in time.
    CConnectionSocket(const ServerContext* server, std::unique_ptr<Transport> transport, Deleter deleter = {},
                      RequestDeadlines* deadlines = nullptr);
    ~CConnectionSocket() override;

    // Starts waiting for the request.
    void Start();

    void OnReceive() override;
    void OnSend() override;
    void OnClose() override;
    void OnTimeout() override;

    bool IsClosing() const { return closing_; }
    ReadState State() const { return state_; }

private:
    void ScanLines(size_t received, size_t& consumed);
    bool AppendBody(const char* bytes, size_t size);
    void Complete();
    void Refuse(unsigned statusId);
    void DeleteSelf();
    void StopDeadline();

    std::unique_ptr<CRequest> request_;
    ResponseSink sink_;
    std::wstring line_;
    ReadState state_ = ReadState::RequestLine;
    bool closing_ = false;
    const ServerContext* server_;
    std::unique_ptr<Transport> transport_;
    Deleter deleter_;
    RequestDeadlines* deadlines_;
    std::optional<RequestDeadlines::Handle> deadline_;
    // Counts the request line and header bytes, bounded by the header limit.
    size_t headerBytes_ = 0;
    // Where the next sendfile continues; -1 while the file is read into the buffer.
    long long fileOffset_ = -1;
};

}  // namespace tarnhollow
