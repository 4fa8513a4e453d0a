// Receive buffering, line building, request completion and the send path of one
// HTTP exchange.
#include "http/ConnectionSocket.h"

#include <unistd.h>

#include "http/Dispatch.h"
#include "http/Limits.h"
#include "http/ResponseWriter.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

CConnectionSocket::CConnectionSocket(const ServerContext* server, std::unique_ptr<Transport> transport,
                                     Deleter deleter, RequestDeadlines* deadlines)
    : server_(server), transport_(std::move(transport)), deleter_(std::move(deleter)), deadlines_(deadlines) {
    transport_->Attach(this);
}

CConnectionSocket::~CConnectionSocket() { StopDeadline(); }

void CConnectionSocket::Start() {
    if (deadlines_) deadline_ = deadlines_->Add(this);
    // The request has usually arrived with the connection (the listener accepts only
    // once data is there): read it now rather than after another trip through the loop.
    OnReceive();
    if (!closing_ && state_ != ReadState::Complete) transport_->WantRead();
}

void CConnectionSocket::StopDeadline() {
    if (deadline_) deadlines_->Remove(*deadline_);
    deadline_.reset();
}

void CConnectionSocket::OnReceive() {
    if (closing_ || state_ == ReadState::Complete) return;
    if (!request_) {
        request_ = std::make_unique<CRequest>();
        request_->server = server_;
        request_->response = &sink_;
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
    body.append(bytes, size < wanted ? size : wanted);
    if (body.size() >= expected) {
        Complete();
        return false;
    }
    return true;
}

void CConnectionSocket::Complete() {
    state_ = ReadState::Complete;
    StopDeadline();
    sink_.buffer.Reset(limits::kIoBufferSize);
    request_->peerAddress = transport_->PeerAddress();
    Dispatch(*request_);
    transport_->WantWrite();
}

void CConnectionSocket::Refuse(unsigned statusId) {
    state_ = ReadState::Complete;
    StopDeadline();
    sink_.buffer.Reset(limits::kIoBufferSize);
    sink_.file.Reset();
    WriteError(*request_, statusId);
    transport_->WantWrite();
}

void CConnectionSocket::OnSend() {
    if (closing_) return;
    IoBuffer& buffer = sink_.buffer;
    if (buffer.Pending() > 0) {
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
        if (static_cast<size_t>(n) < buffer.Pending()) {
            buffer.Consume(static_cast<size_t>(n));
            transport_->WantWrite();
            return;
        }
        buffer.SetPending(0);
    }
    if (sink_.file.IsOpen()) {
        const int fd = sink_.file.Get();
        if (fileOffset_ < 0) {
            const off_t position = ::lseek(fd, 0, SEEK_CUR);
            fileOffset_ = position < 0 ? 0 : position;
        }
        // Plain files go straight from the file to the socket when the transport can;
        // the bytes on the wire are the same as reading them through the buffer.
        long n = transport_->SendFile(fd, fileOffset_, 1 << 20);
        if (n == Transport::kUnsupported) {
            n = ReadSome(fd, buffer.Data(), buffer.LogicalSize());
            if (n > 0) {
                buffer.SetPending(static_cast<size_t>(n));
                transport_->WantWrite();
                return;
            }
            sink_.file.Reset();
        } else if (n > 0 || n == Transport::kWouldBlock) {
            transport_->WantWrite();
            return;
        } else if (n == 0) {
            sink_.file.Reset();
        } else {
            transport_->ShutDown();
            DeleteSelf();
            return;
        }
    }
    transport_->ShutDown();
    DeleteSelf();
}

void CConnectionSocket::OnClose() {
    if (closing_) return;
    DeleteSelf();
}

void CConnectionSocket::OnTimeout() {
    // The deadlines have already let go of this connection.
    deadline_.reset();
    OnClose();
}

void CConnectionSocket::DeleteSelf() {
    closing_ = true;
    if (deleter_) {
        deleter_(this);
    } else {
        delete this;
    }
}

}  // namespace tarnhollow
