// One browser's TCP connection to the directory host: its request read whole, then
// answered here (NearMe, errors) or relayed to the device its Host header names, with
// the device's answer streamed back as it comes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "directory/BrowserRequest.h"
#include "directory/DeviceLink.h"
#include "directory/NearMeStore.h"

namespace tarnhollow::directory {

class BrowserConnection;

// What a connection uses of the directory host. `finished` is called once, when the
// connection is done; the owner then lets go of it.
struct BrowserServices {
    DeviceLink& devices;
    NearMeStore& positions;
    std::function<void(BrowserConnection*)> finished;
};

// Ownership: the directory server holds each connection in a shared pointer until it is
// finished; the handlers it leaves in the event loop hold it too, so it lives until the
// last of them has run.
class BrowserConnection : public std::enable_shared_from_this<BrowserConnection>, private ChannelSink {
public:
    BrowserConnection(asio::ip::tcp::socket socket, BrowserServices& services);
    // Leaves the channel alone: a connection is let go only after its channel ended or
    // was dropped.
    ~BrowserConnection() override = default;

    void Start();
    // Ends at once: the device's channel is dropped and the socket closed.
    void Abort();

private:
    void ReadMore();
    void OnRequest(const BrowserRequest& request);
    // The NearMe endpoints; false when the path is not one of them.
    bool AnswerNearMe(const BrowserRequest& request);
    void AnswerAndClose(std::string answer);
    void WriteMore();
    void Finish();

    void OnChannelFailed(int status) override;
    void OnAnswerBytes(std::string_view bytes) override;
    void OnChannelEnded() override;
    size_t Backlog() const override { return writingBuffer_.size() - sent_ + pending_.size(); }

    asio::ip::tcp::socket socket_;
    BrowserServices& services_;
    std::string browser_;  // "ip:port" for the request's first line
    std::string received_;
    std::unique_ptr<char[]> readBuffer_;
    // The answer bytes an asynchronous write is sending (owned here, untouched until it
    // completes; those before `sent_` are gone), and those that came meanwhile.
    std::string writingBuffer_;
    size_t sent_ = 0;
    std::string pending_;
    bool reading_ = true;
    bool writing_ = false;
    // No more answer bytes will come.
    bool ended_ = false;
    bool finished_ = false;
    DeviceLink::Handle channel_ = 0;
    // The request's deadline, then the browser's stall while the answer goes out.
    asio::steady_timer timer_;
};

}  // namespace tarnhollow::directory
