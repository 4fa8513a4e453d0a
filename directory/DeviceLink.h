// The UDP side of the directory host: devices' registrations, and the relay channels
// that carry browsers' requests to them and their answers back. One socket, on the
// event loop; nothing here waits.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

// After the standard headers, here and in every file of the program: Asio chooses its
// allocation functions by the standard library's configuration, and all must agree.
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

#include "directory/DirectoryLimits.h"
#include "directory/NameRegistry.h"
#include "platform/AliveToken.h"
#include "relay/RelayDatagram.h"

namespace tarnhollow::directory {

// What one relayed exchange tells the browser's side. Calls come from the event loop;
// none of them may drop the channel they report on.
class ChannelSink {
public:
    virtual ~ChannelSink() = default;
    // The device did not take the request: the status to answer with.
    virtual void OnChannelFailed(int status) = 0;
    // The next bytes of the device's answer.
    virtual void OnAnswerBytes(std::string_view bytes) = 0;
    // Nothing more comes: the device closed the channel, or fell silent.
    virtual void OnChannelEnded() = 0;
    // Answer bytes the browser has not taken yet.
    virtual size_t Backlog() const = 0;
};

class DeviceLink {
public:
    using Handle = uint64_t;
    using Status = std::function<void(const std::string& line)>;

    DeviceLink(asio::io_context& io, std::chrono::milliseconds period, ChannelTimings timings, Status status);
    ~DeviceLink();

    // Binds the UDP socket; false with `error`.
    bool Open(const asio::ip::address& address, uint16_t port, std::string& error);
    uint16_t Port() const;
    void Close();

    struct Relayed {
        Handle handle = 0;  // 0 when the request was not taken
        int status = 0;     // then: 404 no such device, 503 too many waiting, 413 too long
    };
    // Sends `request` to the device registered as `name` on a new channel, behind the
    // line naming the browser at `browser` ("ip:port"). The sink hears of it until the
    // channel ends or is dropped.
    Relayed Relay(std::string_view name, std::string_view browser, std::string_view request, ChannelSink& sink);
    // The browser took answer bytes: an acknowledgement held back for it may go.
    void Drained(Handle handle);
    // The browser is gone: the device is told, and the sink hears nothing more.
    void Drop(Handle handle);

    // Takes one datagram as received from `from`; the socket's reads end here.
    void OnDatagram(std::string_view datagram, const Ipv4Endpoint& from);

    const NameRegistry& Names() const { return registry_; }
    size_t Channels() const { return channels_.size(); }

private:
    struct Channel;
    struct Device {
        std::deque<Handle> waiting;
        Handle opening = 0;
        size_t open = 0;
    };
    static uint64_t Key(const Ipv4Endpoint& endpoint) {
        return (static_cast<uint64_t>(endpoint.address) << 16) | endpoint.port;
    }

    void Receive();
    void OnRegistration(std::string_view payload, const Ipv4Endpoint& from);
    void OnOpenAcknowledged(const relay::DatagramHeader& header, const Ipv4Endpoint& from);
    void OnChannelDatagram(std::string_view datagram, const relay::DatagramHeader& header, const Ipv4Endpoint& from);
    void StartNextOpen(const Ipv4Endpoint& device);
    void SendOpening(Channel& channel);
    void OpenFailed(const Ipv4Endpoint& device);
    void WatchSilence(Channel& channel);
    void Acknowledge(Channel& channel, uint32_t sequence);
    void Remove(Handle handle);
    void Send(std::string_view datagram, const Ipv4Endpoint& to);
    void ArmSweep();

    asio::io_context& io_;
    const ChannelTimings timings_;
    const Status status_;
    asio::ip::udp::socket socket_;
    bool ipv6_ = false;
    asio::ip::udp::endpoint sender_;
    std::unique_ptr<char[]> datagram_;
    NameRegistry registry_;
    asio::steady_timer sweepTimer_;
    bool sweepArmed_ = false;
    Handle lastHandle_ = 0;
    std::unordered_map<Handle, std::unique_ptr<Channel>> channels_;
    std::unordered_map<uint64_t, Device> devices_;
    // Open channels by device and the id the device gave them.
    std::map<std::pair<uint64_t, uint32_t>, Handle> byChannelId_;
    AliveToken<DeviceLink> alive_{this};
};

}  // namespace tarnhollow::directory
