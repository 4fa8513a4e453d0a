// One HTTP exchange: reads one request through its transport, has it answered, sends
// the answer (streaming a file when there is one) and then deletes itself.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/PendingAnswer.h"
#include "http/Request.h"
#include "http/RequestDeadlines.h"
#include "http/ServerContext.h"
#include "http/Transport.h"
#include "platform/AliveToken.h"

namespace tarnhollow {

// Ownership: a CConnectionSocket owns itself from construction; it owns its transport,
// its request record, its buffer and any open file. It ends through DeleteSelf, which
// hands the object to `deleter` (by default a plain delete) so the owner can free it
// outside the notification that ended it. Nothing else keeps a pointer to it.
class CConnectionSocket : public TransportEvents, public AnswerResumer {
public:
    using Deleter = std::function<void(CConnectionSocket*)>;

    // `deadlines` (not owned, may be null) closes the connection when its request is not
    // complete in time, or its answer makes no progress for as long; `lingerDeadlines`
    // (not owned; null closes at once) bounds the wait for the peer's end after the
    // answer when the peer sent more than was read.
    CConnectionSocket(const ServerContext* server, std::unique_ptr<Transport> transport, Deleter deleter = {},
                      RequestDeadlines* deadlines = nullptr, RequestDeadlines* lingerDeadlines = nullptr);
    ~CConnectionSocket() override;

    // Starts waiting for the request.
    void Start();

    void OnReceive() override;
    void OnSend() override;
    void OnClose() override;
    void OnTimeout() override;

    void ResumeAnswer(const std::function<void(CRequest&)>& write) override;
    std::weak_ptr<AnswerResumer*> Token() override;

    ReadState State() const { return state_; }

private:
    void ScanLines(size_t received, size_t& consumed);
    bool AppendBody(const char* bytes, size_t size);
    bool ReserveBody(long long bytes);
    void ReleaseBody();
    void Complete();
    void Refuse(unsigned statusId);
    // Sends from the file; false when the connection has ended.
    bool SendFromFile();
    // The answer is out: closes, or lingers first when the peer left input unread.
    void EndExchange();
    void DiscardLingeringInput();
    void DeleteSelf();
    bool Logging() const;
    void StartDeadline(RequestDeadlines* list);
    void RenewDeadline();
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
    RequestDeadlines* lingerDeadlines_;
    // The list the connection's current deadline is in, and its place there.
    RequestDeadlines* deadlineList_ = nullptr;
    std::optional<RequestDeadlines::Handle> deadline_;
    // Set once the peer sent bytes that nobody read (past the request, or the rest of
    // a refused one): closing then waits for the peer's end.
    bool unreadInput_ = false;
    bool lingering_ = false;
    size_t discardedBytes_ = 0;
    // Body bytes reserved against the client's share while the request is unfinished.
    long long reservedBody_ = 0;
    // Expires with the connection, so a deferred answer finished later finds it gone.
    AliveToken<AnswerResumer> resumeToken_{this};
    // Counts the request line and header bytes, bounded by the header limit.
    size_t headerBytes_ = 0;
    // For the access log: when the request was complete, the bytes sent, and how many
    // of them were the head (-1 until the first send).
    std::time_t receivedAt_ = 0;
    long long sentBytes_ = 0;
    long long headBytes_ = -1;
};

}  // namespace tarnhollow
