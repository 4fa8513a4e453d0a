// Reading the request, choosing its way, and writing the answer with the browser's pace
// fed back to the device's channel.
#include "directory/BrowserConnection.h"

#include <chrono>

#include "directory/DirectoryLimits.h"
#include "directory/HostNames.h"
#include "directory/HttpAnswers.h"
#include "directory/NearMeQuery.h"

namespace tarnhollow::directory {

namespace {

constexpr size_t kReadChunk = 4096;

std::string AddressText(const asio::ip::tcp::endpoint& endpoint) {
    asio::ip::address address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    const std::string text = address.to_string();
    return (address.is_v6() ? "[" + text + "]" : text) + ":" + std::to_string(endpoint.port());
}

int64_t UnixSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

BrowserConnection::BrowserConnection(asio::ip::tcp::socket socket, BrowserServices& services)
    : socket_(std::move(socket)),
      services_(services),
      readBuffer_(std::make_unique<char[]>(kReadChunk)),
      timer_(socket_.get_executor()) {
    asio::error_code ec;
    const auto peer = socket_.remote_endpoint(ec);
    if (!ec) browser_ = AddressText(peer);
}

void BrowserConnection::Start() {
    timer_.expires_after(kRequestTime);
    timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        // A request that does not come whole in time gets no answer.
        if (!ec && self->reading_) self->Abort();
    });
    ReadMore();
}

void BrowserConnection::ReadMore() {
    const size_t room = std::min(kReadChunk, kMaxRequestBytes + 1 - received_.size());
    socket_.async_read_some(asio::buffer(readBuffer_.get(), room),
                            [self = shared_from_this()](const asio::error_code& ec, size_t size) {
                                if (ec == asio::error::operation_aborted || self->finished_) return;
                                if (ec) {
                                    self->Abort();
                                    return;
                                }
                                self->received_.append(self->readBuffer_.get(), size);
                                self->OnRequest(ParseBrowserRequest(self->received_, kMaxRequestBytes));
                            });
}

void BrowserConnection::OnRequest(const BrowserRequest& request) {
    switch (request.state) {
        case BrowserRequest::State::Incomplete:
            ReadMore();
            return;
        case BrowserRequest::State::Malformed:
            AnswerAndClose(ErrorAnswer(400, "The request could not be understood."));
            return;
        case BrowserRequest::State::TooLarge:
            AnswerAndClose(ErrorAnswer(413, "The request is longer than the relay can carry."));
            return;
        case BrowserRequest::State::Complete:
            break;
    }
    reading_ = false;
    timer_.cancel();
    if (AnswerNearMe(request)) return;
    const std::string name = DeviceNameOfHost(request.host);
    const std::string_view bytes = std::string_view(received_).substr(0, request.size);
    const auto relayed =
        name.empty() ? DeviceLink::Relayed{0, 404} : services_.devices.Relay(name, browser_, bytes, *this);
    received_ = std::string();
    switch (relayed.status) {
        case 0:
            channel_ = relayed.handle;
            return;
        case 404:
            AnswerAndClose(ErrorAnswer(404, "No device named \"" + (name.empty() ? request.host : name) +
                                                "\" is registered with this directory host."));
            return;
        case 413:
            AnswerAndClose(ErrorAnswer(413, "The request is longer than the relay can carry."));
            return;
        default:
            AnswerAndClose(ErrorAnswer(503, "The device has too many requests waiting; try again later."));
            return;
    }
}

bool BrowserConnection::AnswerNearMe(const BrowserRequest& request) {
    const bool update = request.path == "/nearme/update.php";
    if (!update && request.path != "/nearme/request.php") return false;
    if (request.method != "GET" && request.method != "HEAD") {
        AnswerAndClose(ErrorAnswer(501, "The NearMe service answers GET only."));
        return true;
    }
    std::string problem;
    std::string answer;
    if (update) {
        const auto position = ParseNearMeUpdate(request.query, problem);
        if (!position) {
            answer = ErrorAnswer(400, "The parameter \"" + problem + "\" is missing or not valid.");
        } else if (!services_.positions.Update(*position, UnixSeconds())) {
            answer = ErrorAnswer(503, "The position could not be stored.");
        } else {
            answer = HttpAnswer(200, "text/plain; charset=utf-8", "OK\n");
        }
    } else {
        const auto query = ParseNearMeRequest(request.query, problem);
        answer = query ? HttpAnswer(200, "application/javascript; charset=utf-8",
                                    NearMeScript(services_.positions.Nearest(*query, UnixSeconds()), query->precision))
                       : ErrorAnswer(400, "The parameter \"" + problem + "\" is missing or not valid.");
    }
    if (request.method == "HEAD") answer.erase(answer.find("\r\n\r\n") + 4);
    AnswerAndClose(std::move(answer));
    return true;
}

void BrowserConnection::AnswerAndClose(std::string answer) {
    reading_ = false;
    timer_.cancel();
    OnAnswerBytes(answer);
    OnChannelEnded();
}

void BrowserConnection::OnChannelFailed(int status) {
    channel_ = 0;
    AnswerAndClose(ErrorAnswer(status, "The device did not answer."));
}

void BrowserConnection::OnAnswerBytes(std::string_view bytes) {
    pending_.append(bytes);
    WriteMore();
}

void BrowserConnection::OnChannelEnded() {
    channel_ = 0;
    ended_ = true;
    WriteMore();
}

void BrowserConnection::WriteMore() {
    if (writing_ || finished_) return;
    if (sent_ == writingBuffer_.size()) {
        writingBuffer_.clear();
        sent_ = 0;
        if (pending_.empty()) {
            if (ended_) Finish();
            return;
        }
        writingBuffer_.swap(pending_);
    }
    writing_ = true;
    // Each write that takes no byte for this long cuts the browser off.
    timer_.expires_after(kBrowserStall);
    timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        if (!ec && self->writing_) self->Abort();
    });
    socket_.async_write_some(asio::buffer(writingBuffer_.data() + sent_, writingBuffer_.size() - sent_),
                             [self = shared_from_this()](const asio::error_code& ec, size_t size) {
                                 self->writing_ = false;
                                 if (ec == asio::error::operation_aborted || self->finished_) return;
                                 if (ec) {
                                     self->Abort();
                                     return;
                                 }
                                 self->timer_.cancel();
                                 self->sent_ += size;
                                 self->services_.devices.Drained(self->channel_);
                                 self->WriteMore();
                             });
}

void BrowserConnection::Finish() {
    if (finished_) return;
    finished_ = true;
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    socket_.close(ignored);
    timer_.cancel();
    services_.finished(this);
}

void BrowserConnection::Abort() {
    if (finished_) return;
    services_.devices.Drop(channel_);
    channel_ = 0;
    ended_ = true;
    Finish();
}

}  // namespace tarnhollow::directory
