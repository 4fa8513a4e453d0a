// Receive buffering, line building, request completion and the send path of one
// HTTP exchange.
#include "http/ConnectionSocket.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "http/AccessLog.h"
#include "http/Dispatch.h"
#include "http/Limits.h"
#include "http/ResponseWriter.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {
// One sendfile call sends at most this much, so one connection cannot hold the server
// thread for long.
constexpr long long kSendFileChunk = 1 << 20;
}  // namespace

CConnectionSocket::CConnectionSocket(const ServerContext* server, std::unique_ptr<Transport> transport,
                                     Deleter deleter, RequestDeadlines* deadlines, RequestDeadlines* lingerDeadlines)
    : server_(server),
      transport_(std::move(transport)),
      deleter_(std::move(deleter)),
      deadlines_(deadlines),
      lingerDeadlines_(lingerDeadlines) {
    transport_->Attach(this);
    sink_.resumer = this;
}

CConnectionSocket::~CConnectionSocket() {
    StopDeadline();
    ReleaseBody();
}

void CConnectionSocket::Start() {
    StartDeadline(deadlines_);
    // The request has usually arrived with the connection (the listener accepts only
    // once data is there): read it now rather than after another trip through the loop.
    OnReceive();
    if (!closing_ && state_ != ReadState::Complete) transport_->WantRead();
}

void CConnectionSocket::StartDeadline(RequestDeadlines* list) {
    StopDeadline();
    if (!list) return;
    deadlineList_ = list;
    deadline_ = list->Add(this);
}

void CConnectionSocket::RenewDeadline() {
    if (deadline_) deadlineList_->Renew(*deadline_);
}

void CConnectionSocket::StopDeadline() {
    if (deadline_) deadlineList_->Remove(*deadline_);
    deadline_.reset();
}

void CConnectionSocket::OnReceive() {
    if (closing_) return;
    if (lingering_) {
        DiscardLingeringInput();
        return;
    }
    if (state_ == ReadState::Complete) return;
    if (!request_) {
        request_ = std::make_unique<CRequest>();
        request_->server = server_;
        request_->response = &sink_;
        request_->peerAddress = transport_->PeerAddress();
    }
    IoBuffer& buffer = sink_.buffer;
    const long n = transport_->Receive(buffer.Data(), buffer.LogicalSize());
    if (n <= 0) return;  // Errors are dropped; a close notification follows them.
    const size_t received = static_cast<size_t>(n);

    if (state_ == ReadState::RequestLine || state_ == ReadState::Headers) {
        size_t consumed = 0;
        ScanLines(received, consumed);
        if (closing_ || state_ == ReadState::Complete) return;
        if (state_ == ReadState::Body) {
            const std::wstring length = GetHeader(*request_, L"Content-Length");
            if (length.empty()) {
                if (consumed < received) unreadInput_ = true;
                Complete();
                return;
            }
            // A negative length counts as 0: the request is complete at once.
            long long expected = ParseSignedDecimal(length);
            if (expected < 0) expected = 0;
            if (expected > limits::kMaxBodyBytes) {
                Refuse(kStatusBadRequest);
                return;
            }
            if (!ReserveBody(expected)) {
                Refuse(kStatusServiceUnavailable);
                return;
            }
            request_->contentLength = expected;
            if (!AppendBody(buffer.Data() + consumed, received - consumed)) return;
        }
    } else if (state_ == ReadState::Body) {
        if (!AppendBody(buffer.Data(), received)) return;
    }
    if (!closing_ && state_ != ReadState::Complete) transport_->WantRead();
}

void CConnectionSocket::ScanLines(size_t received, size_t& consumed) {
    const char* bytes = sink_.buffer.Data();
    size_t i = 0;
    while (i < received) {
        const char c = bytes[i++];
        if (++headerBytes_ > limits::kMaxHeaderBytes) {
            Refuse(kStatusBadRequest);
            return;
        }
        if (c == '\r') continue;
        if (c != '\n') {
            line_ += WidenByte(static_cast<unsigned char>(c));
            continue;
        }
        if (line_.empty()) {
            state_ = ReadState::Body;
            break;
        }
        ParseLine(*request_, state_, line_);
        line_.clear();
    }
    consumed = i;
}

bool CConnectionSocket::AppendBody(const char* bytes, size_t size) {
    std::string& body = request_->body;
    const size_t expected = static_cast<size_t>(request_->contentLength);
    const size_t wanted = expected > body.size() ? expected - body.size() : 0;
    // Bytes beyond the announced length are discarded.
    if (size > wanted) unreadInput_ = true;
    body.append(bytes, std::min(size, wanted));
    if (body.size() >= expected) {
        Complete();
        return false;
    }
    return true;
}

bool CConnectionSocket::ReserveBody(long long bytes) {
    if (bytes <= 0 || !server_ || !server_->clients) return true;
    if (!server_->clients->ReserveBody(request_->peerAddress, bytes)) return false;
    reservedBody_ = bytes;
    return true;
}

void CConnectionSocket::ReleaseBody() {
    if (reservedBody_ == 0) return;
    server_->clients->ReleaseBody(request_->peerAddress, reservedBody_);
    reservedBody_ = 0;
}

bool CConnectionSocket::Logging() const { return server_ && server_->accessLog; }

void CConnectionSocket::Complete() {
    state_ = ReadState::Complete;
    if (Logging()) receivedAt_ = std::time(nullptr);
    // The longest header line's room is not needed while the answer goes out.
    line_ = std::wstring();
    ReleaseBody();
    // From here the deadline bounds the answer's progress instead.
    RenewDeadline();
    sink_.buffer.Rewind();
    Dispatch(*request_);
    // A deferred answer is sent once its service finishes it.
    if (sink_.deferred) {
        transport_->WantNothing();
        return;
    }
    transport_->WantWrite();
}

void CConnectionSocket::Refuse(unsigned statusId) {
    state_ = ReadState::Complete;
    if (Logging()) receivedAt_ = std::time(nullptr);
    // The rest of what the peer is sending will not be read.
    unreadInput_ = true;
    ReleaseBody();
    RenewDeadline();
    sink_.buffer.Reset(limits::kIoBufferSize);
    sink_.file.Reset();
    WriteError(*request_, statusId);
    transport_->WantWrite();
}

void CConnectionSocket::ResumeAnswer(const std::function<void(CRequest&)>& write) {
    if (closing_ || !sink_.deferred) return;
    sink_.deferred = false;
    write(*request_);
    RenewDeadline();
    // The rest of the answer may itself be finished later (a password checked, then a
    // screen captured).
    if (sink_.deferred) return;
    transport_->WantWrite();
}

std::weak_ptr<AnswerResumer*> CConnectionSocket::Token() {
    // Made only for the few answers that are deferred.
    return resumeToken_.Weak();
}

void CConnectionSocket::OnSend() {
    if (closing_ || lingering_ || sink_.deferred) return;
    IoBuffer& buffer = sink_.buffer;
    if (buffer.Pending() > 0) {
        // Nothing is sent before the head is complete, so the first send holds all of it.
        if (headBytes_ < 0 && Logging()) {
            const size_t end = buffer.PendingBytes().find("\r\n\r\n");
            headBytes_ = static_cast<long long>(end == std::string_view::npos ? buffer.Pending() : end + 4);
        }
        transport_->SetMoreToFollow(sink_.headAwaitsFile && sink_.file.IsOpen() && sink_.fileBytesLeft > 0);
        const long n = transport_->Send(buffer.Data(), buffer.Pending());
        if (n == Transport::kWouldBlock) {
            transport_->WantWrite();
            return;
        }
        if (n < 0) {
            transport_->ShutDown();
            DeleteSelf();
            return;
        }
        if (n > 0) {
            RenewDeadline();
            sentBytes_ += n;
        }
        if (static_cast<size_t>(n) < buffer.Pending()) {
            buffer.Consume(static_cast<size_t>(n));
            transport_->WantWrite();
            return;
        }
        // Refills start at the front again, so every read from the file fills the
        // whole buffer rather than what a partial send left of it.
        buffer.Rewind();
    }
    if (sink_.file.IsOpen() && !SendFromFile()) return;
    if (sink_.file.IsOpen() || buffer.Pending() > 0) {
        transport_->WantWrite();
        return;
    }
    EndExchange();
}

bool CConnectionSocket::SendFromFile() {
    IoBuffer& buffer = sink_.buffer;
    const int fd = sink_.file.Get();
    if (sink_.fileBytesLeft <= 0) {
        sink_.file.Reset();
        return true;
    }
    // Plain files go straight from the file to the socket when the transport can;
    // the bytes on the wire are the same as reading them through the buffer.
    const long long chunk = std::min(sink_.fileBytesLeft, kSendFileChunk);
    long n = transport_->SendFile(fd, sink_.fileOffset, static_cast<size_t>(chunk));
    if (n == Transport::kUnsupported) {
        if (buffer.LogicalSize() < limits::kIoBufferSize) buffer.Reset(limits::kIoBufferSize);
        const size_t room = static_cast<size_t>(std::min<long long>(sink_.fileBytesLeft, buffer.LogicalSize()));
        n = ReadSomeAt(fd, buffer.Data(), room, sink_.fileOffset);
        if (n > 0) {
            buffer.SetPending(static_cast<size_t>(n));
            sink_.fileBytesLeft -= n;
            sink_.fileOffset += n;
        } else {
            // The file ended early (it shrank) or cannot be read: nothing more to send.
            sink_.file.Reset();
        }
        return true;
    }
    if (n > 0) {
        sink_.fileBytesLeft -= n;
        sentBytes_ += n;
        RenewDeadline();
    }
    // Nothing more to send, or the file ended early (it shrank).
    if (n == 0 || sink_.fileBytesLeft <= 0) sink_.file.Reset();
    if (n >= 0 || n == Transport::kWouldBlock) {
        // The file goes out without the buffer: a download that is held for long does
        // not hold its 16 KiB as well.
        buffer.Release();
        return true;
    }
    transport_->ShutDown();
    DeleteSelf();
    return false;
}

void CConnectionSocket::EndExchange() {
    const Transport::Leftover leftover = transport_->DiscardInput();
    const bool peerMaySend = leftover == Transport::Leftover::Unread ||
                             (leftover == Transport::Leftover::None && unreadInput_);
    if (!peerMaySend || !lingerDeadlines_) {
        transport_->ShutDown();
        DeleteSelf();
        return;
    }
    // Closing now, with the peer's bytes unread, would reset the connection and could
    // destroy the end of the answer still in flight: end our side, then read and
    // discard until the peer ends its side or the linger time is up.
    lingering_ = true;
    sink_.buffer.Reset(limits::kIoBufferSize);
    StartDeadline(lingerDeadlines_);
    transport_->EndSending();
    transport_->WantRead();
}

void CConnectionSocket::DiscardLingeringInput() {
    IoBuffer& buffer = sink_.buffer;
    const long n = transport_->Receive(buffer.Data(), buffer.LogicalSize());
    if (n > 0) discardedBytes_ += static_cast<size_t>(n);
    if (discardedBytes_ > limits::kMaxDiscardedBytes) {
        transport_->ShutDown();
        DeleteSelf();
        return;
    }
    // The peer's end arrives as a close notification.
    transport_->WantRead();
}

void CConnectionSocket::OnClose() {
    if (closing_) return;
    DeleteSelf();
}

void CConnectionSocket::OnTimeout() {
    // The deadlines have already let go of this connection.
    deadline_.reset();
    if (closing_) return;
    transport_->ShutDown();
    DeleteSelf();
}

void CConnectionSocket::DeleteSelf() {
    closing_ = true;
    // One line per answered request, written as the exchange ends, with what was sent.
    if (request_ && request_->status && Logging()) {
        const long long body = sentBytes_ - std::max<long long>(headBytes_, 0);
        server_->accessLog->Record(*request_, std::max<long long>(body, 0), receivedAt_);
    }
    resumeToken_.Expire();
    if (deleter_) {
        deleter_(this);
    } else {
        delete this;
    }
}

}  // namespace tarnhollow
