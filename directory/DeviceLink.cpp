// Registrations with their expiry, and each relay channel's life: the opening message
// retransmitted until the device acknowledges it, the answer's messages collected and
// acknowledged in order (held back while the browser lags), and the channel's end.
#include "directory/DeviceLink.h"

#include <algorithm>

#include <asio/ip/v6_only.hpp>

#include "directory/HostNames.h"

namespace tarnhollow::directory {

namespace {

std::string Dotted(const Ipv4Endpoint& endpoint) {
    return asio::ip::address_v4(endpoint.address).to_string() + ":" + std::to_string(endpoint.port);
}

}  // namespace

struct DeviceLink::Channel {
    Channel(asio::io_context& io, Handle handle, const Ipv4Endpoint& device, ChannelSink& sink)
        : handle(handle), device(device), sink(&sink), timer(io) {}
    const Handle handle;
    const Ipv4Endpoint device;
    ChannelSink* sink;
    // The opening message, kept whole for every attempt until acknowledged.
    std::string opening;
    int attempts = 0;
    uint32_t id = relay::kNoChannel;
    // Made once the channel is open: most waiting requests never need one.
    std::unique_ptr<relay::MessageAssembly> assembly;
    uint32_t nextSequence = 1;
    // An answer message taken while the browser lags, not yet acknowledged.
    bool acknowledgementHeld = false;
    // The retransmission wait while opening, the device's silence once open.
    asio::steady_timer timer;
    uint64_t timerGeneration = 0;
};

DeviceLink::DeviceLink(asio::io_context& io, std::chrono::milliseconds period, ChannelTimings timings, Status status)
    : io_(io),
      timings_(timings),
      status_(std::move(status)),
      socket_(io),
      datagram_(std::make_unique<char[]>(relay::kReceiveBytes)),
      registry_(period * kMissedPeriods),
      sweepTimer_(io) {}

DeviceLink::~DeviceLink() {
    alive_.Expire();
    Close();
}

bool DeviceLink::Open(const asio::ip::address& address, uint16_t port, std::string& error) {
    asio::error_code ec;
    socket_.open(address.is_v4() ? asio::ip::udp::v4() : asio::ip::udp::v6(), ec);
    // An IPv6 socket takes IPv4 devices too, as mapped addresses.
    if (!ec && address.is_v6()) socket_.set_option(asio::ip::v6_only(false), ec);
    if (!ec) socket_.bind({address, port}, ec);
    if (!ec) socket_.non_blocking(true, ec);
    ipv6_ = address.is_v6();
    if (ec) {
        error = "UDP port " + std::to_string(port) + ": " + ec.message();
        return false;
    }
    Receive();
    return true;
}

uint16_t DeviceLink::Port() const {
    asio::error_code ec;
    const auto endpoint = socket_.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

void DeviceLink::Close() {
    asio::error_code ignored;
    socket_.close(ignored);
    sweepTimer_.cancel();
}

void DeviceLink::Receive() {
    socket_.async_receive_from(
        asio::buffer(datagram_.get(), relay::kReceiveBytes), sender_,
        alive_.Guard([this](const asio::error_code& ec, size_t size) {
            if (ec == asio::error::operation_aborted || !socket_.is_open()) return;
            if (!ec) {
                // Devices speak IPv4 only; an IPv6 socket sees them as mapped addresses.
                asio::ip::address address = sender_.address();
                if (address.is_v6() && address.to_v6().is_v4_mapped()) {
                    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
                }
                if (address.is_v4()) {
                    const auto token = alive_.Weak();
                    OnDatagram({datagram_.get(), size}, {address.to_v4().to_uint(), sender_.port()});
                    if (token.expired()) return;
                }
            }
            Receive();
        }));
}

void DeviceLink::Send(std::string_view datagram, const Ipv4Endpoint& to) {
    asio::ip::address address = asio::ip::address_v4(to.address);
    if (ipv6_) {
        address = asio::ip::make_address_v6(asio::ip::v4_mapped, address.to_v4());
    }
    // A datagram the socket will not take now is lost like any other; the exchange
    // repeats what matters.
    asio::error_code ignored;
    socket_.send_to(asio::buffer(datagram.data(), datagram.size()), {address, to.port}, 0, ignored);
}

void DeviceLink::OnDatagram(std::string_view datagram, const Ipv4Endpoint& from) {
    const auto header = relay::DecodeHeader(datagram);
    if (!header) return;
    if (header->flags == relay::kRegistration) {
        OnRegistration(datagram.substr(relay::kHeaderBytes), from);
    } else if (header->flags & (relay::kRegistration | relay::kControl)) {
        return;
    } else if (header->flags & relay::kAcknowledgement) {
        if (datagram.size() == relay::kHeaderBytes) OnOpenAcknowledged(*header, from);
    } else {
        OnChannelDatagram(datagram, *header, from);
    }
}

void DeviceLink::OnRegistration(std::string_view payload, const Ipv4Endpoint& from) {
    const size_t zero = payload.find('\0');
    if (zero == std::string_view::npos) return;
    const std::string_view name = payload.substr(0, zero);
    const NameRegistry::Result result = registry_.Register(name, from, NameRegistry::Clock::now());
    if (!result.released.empty()) status_("released " + result.released);
    switch (result.outcome) {
        case NameRegistry::Outcome::Registered:
            status_("registered " + NormalizedName(name) + " at " + Dotted(from));
            [[fallthrough]];
        case NameRegistry::Outcome::Renewed: {
            relay::DatagramHeader registration{.flags = relay::kRegistration, .channel = 0};
            Send(relay::Acknowledgement(registration), from);
            ArmSweep();
            return;
        }
        case NameRegistry::Outcome::Held:
        case NameRegistry::Outcome::Invalid:
        case NameRegistry::Outcome::OverLimit:
            return;
    }
}

void DeviceLink::ArmSweep() {
    // Names only ever expire later than the one at the front, so one wait for the front
    // is enough; it looks again when it fires.
    if (sweepArmed_) return;
    const auto next = registry_.NextExpiry();
    if (!next) return;
    sweepArmed_ = true;
    sweepTimer_.expires_at(*next + std::chrono::milliseconds(1));
    sweepTimer_.async_wait(alive_.Guard([this](const asio::error_code& ec) {
        if (ec == asio::error::operation_aborted) return;
        sweepArmed_ = false;
        for (const std::string& name : registry_.Expire(NameRegistry::Clock::now())) status_("expired " + name);
        ArmSweep();
    }));
}

DeviceLink::Relayed DeviceLink::Relay(std::string_view name, std::string_view browser, std::string_view request,
                                      ChannelSink& sink) {
    const auto device = registry_.Find(name, NameRegistry::Clock::now());
    if (!device) return {0, 404};
    std::string opening = "RELAY " + std::string(browser) + "\r\n" + std::string(request);
    if (opening.size() > relay::kMessageBytes) return {0, 413};
    Device& waitingAt = devices_[Key(*device)];
    if (waitingAt.waiting.size() >= kMaxWaitingPerDevice) return {0, 503};
    const Handle handle = ++lastHandle_;
    auto channel = std::make_unique<Channel>(io_, handle, *device, sink);
    channel->opening = std::move(opening);
    channels_.emplace(handle, std::move(channel));
    waitingAt.waiting.push_back(handle);
    StartNextOpen(*device);
    return {handle, 0};
}

void DeviceLink::StartNextOpen(const Ipv4Endpoint& device) {
    // One opening at a time per device: its acknowledgement names the channel the
    // device chose but not the message it answers.
    const auto found = devices_.find(Key(device));
    if (found == devices_.end()) return;
    Device& state = found->second;
    if (state.opening || state.open >= kMaxOpenChannelsPerDevice || state.waiting.empty()) return;
    state.opening = state.waiting.front();
    state.waiting.pop_front();
    SendOpening(*channels_.at(state.opening));
}

void DeviceLink::SendOpening(Channel& channel) {
    ++channel.attempts;
    std::string datagram;
    const std::string& message = channel.opening;
    for (size_t offset = 0; offset < message.size(); offset += relay::kMaxPayloadBytes) {
        datagram.assign(relay::kHeaderBytes, '\0');
        relay::EncodeHeader({.flags = relay::kNewChannel,
                             .channel = relay::kNoChannel,
                             .sequence = 0,
                             .length = static_cast<uint16_t>(message.size()),
                             .offset = static_cast<uint16_t>(offset)},
                            datagram.data());
        datagram.append(message, offset, relay::kMaxPayloadBytes);
        Send(datagram, channel.device);
    }
    const uint64_t generation = ++channel.timerGeneration;
    channel.timer.expires_after(timings_.openAttemptWait);
    channel.timer.async_wait(alive_.Guard([this, handle = channel.handle, generation](const asio::error_code& ec) {
        const auto found = channels_.find(handle);
        if (ec == asio::error::operation_aborted || found == channels_.end()) return;
        Channel& waiting = *found->second;
        if (waiting.timerGeneration != generation || waiting.id != relay::kNoChannel) return;
        if (waiting.attempts < kOpenAttempts) {
            SendOpening(waiting);
        } else {
            OpenFailed(waiting.device);
        }
    }));
}

void DeviceLink::OpenFailed(const Ipv4Endpoint& device) {
    // A device that let every attempt go unanswered is gone: the requests waiting for
    // it fail with the one that tried.
    const auto found = devices_.find(Key(device));
    if (found == devices_.end()) return;
    // The waiting ones go first, so that none of them is sent while the rest fail.
    std::vector<Handle> failed(found->second.waiting.rbegin(), found->second.waiting.rend());
    failed.push_back(found->second.opening);
    for (Handle handle : failed) {
        const auto channel = channels_.find(handle);
        if (channel == channels_.end()) continue;
        ChannelSink* sink = channel->second->sink;
        Remove(handle);
        sink->OnChannelFailed(504);
    }
}

void DeviceLink::OnOpenAcknowledged(const relay::DatagramHeader& header, const Ipv4Endpoint& from) {
    if (!(header.flags & relay::kNewChannel) || header.sequence != 0 || header.channel == relay::kNoChannel) return;
    const auto found = devices_.find(Key(from));
    if (found == devices_.end() || !found->second.opening) return;
    if (byChannelId_.count({Key(from), header.channel})) return;
    Channel& channel = *channels_.at(found->second.opening);
    found->second.opening = 0;
    ++found->second.open;
    channel.id = header.channel;
    channel.opening = std::string();
    channel.assembly = std::make_unique<relay::MessageAssembly>();
    channel.assembly->Expect(channel.id, channel.nextSequence);
    byChannelId_[{Key(from), channel.id}] = channel.handle;
    WatchSilence(channel);
    StartNextOpen(from);
}

void DeviceLink::OnChannelDatagram(std::string_view datagram, const relay::DatagramHeader& header,
                                   const Ipv4Endpoint& from) {
    const auto known = byChannelId_.find({Key(from), header.channel});
    if (known == byChannelId_.end()) {
        // An answer on a channel this side has given up (or never knew): the device is
        // told once per message, so it stops instead of retrying.
        if (!(header.flags & relay::kClose) && header.offset == 0 && registry_.Holds(from)) {
            char close[relay::kHeaderBytes];
            relay::EncodeHeader({.flags = relay::kClose, .channel = header.channel, .sequence = header.sequence},
                                close);
            Send({close, sizeof close}, from);
        }
        return;
    }
    Channel& channel = *channels_.at(known->second);
    WatchSilence(channel);
    if (header.flags & relay::kClose) {
        ChannelSink* sink = channel.sink;
        Remove(channel.handle);
        sink->OnChannelEnded();
        return;
    }
    if (header.sequence < channel.nextSequence) {
        // The device sends again what was taken: the acknowledgement went missing, unless
        // it is held back on purpose. Once per message, not per fragment.
        if (!channel.acknowledgementHeld && header.offset == 0) Acknowledge(channel, header.sequence);
        return;
    }
    switch (channel.assembly->Accept(datagram, [] { return relay::kNoChannel; })) {
        case relay::MessageAssembly::Step::Ignored:
        case relay::MessageAssembly::Step::Collecting:
            return;
        case relay::MessageAssembly::Step::Stop:
        case relay::MessageAssembly::Step::Abandon:
            channel.assembly->Expect(channel.id, channel.nextSequence);
            return;
        case relay::MessageAssembly::Step::Complete:
            break;
    }
    const uint32_t sequence = channel.nextSequence++;
    channel.sink->OnAnswerBytes(channel.assembly->Message());
    channel.assembly->Expect(channel.id, channel.nextSequence);
    if (channel.sink->Backlog() <= kMaxBufferedAnswer) {
        Acknowledge(channel, sequence);
    } else {
        channel.acknowledgementHeld = true;
    }
}

void DeviceLink::Acknowledge(Channel& channel, uint32_t sequence) {
    Send(relay::Acknowledgement({.flags = 0, .channel = channel.id, .sequence = sequence}), channel.device);
}

void DeviceLink::Drained(Handle handle) {
    const auto found = channels_.find(handle);
    if (found == channels_.end()) return;
    Channel& channel = *found->second;
    if (!channel.acknowledgementHeld || channel.sink->Backlog() > kMaxBufferedAnswer) return;
    channel.acknowledgementHeld = false;
    Acknowledge(channel, channel.nextSequence - 1);
}

void DeviceLink::WatchSilence(Channel& channel) {
    const uint64_t generation = ++channel.timerGeneration;
    channel.timer.expires_after(timings_.deviceSilence);
    channel.timer.async_wait(alive_.Guard([this, handle = channel.handle, generation](const asio::error_code& ec) {
        const auto found = channels_.find(handle);
        if (ec == asio::error::operation_aborted || found == channels_.end()) return;
        if (found->second->timerGeneration != generation) return;
        ChannelSink* sink = found->second->sink;
        Drop(handle);
        sink->OnChannelEnded();
    }));
}

void DeviceLink::Drop(Handle handle) {
    const auto found = channels_.find(handle);
    if (found == channels_.end()) return;
    const Channel& channel = *found->second;
    if (channel.id != relay::kNoChannel) {
        char close[relay::kHeaderBytes];
        relay::EncodeHeader({.flags = relay::kClose, .channel = channel.id, .sequence = channel.nextSequence}, close);
        Send({close, sizeof close}, channel.device);
    }
    Remove(handle);
}

void DeviceLink::Remove(Handle handle) {
    const auto found = channels_.find(handle);
    if (found == channels_.end()) return;
    const Ipv4Endpoint device = found->second->device;
    const uint32_t id = found->second->id;
    channels_.erase(found);
    const auto state = devices_.find(Key(device));
    if (state == devices_.end()) return;
    Device& waitingAt = state->second;
    if (id != relay::kNoChannel) {
        byChannelId_.erase({Key(device), id});
        --waitingAt.open;
    }
    if (waitingAt.opening == handle) waitingAt.opening = 0;
    waitingAt.waiting.erase(std::remove(waitingAt.waiting.begin(), waitingAt.waiting.end(), handle),
                            waitingAt.waiting.end());
    if (!waitingAt.opening && !waitingAt.open && waitingAt.waiting.empty()) {
        devices_.erase(state);
        return;
    }
    StartNextOpen(device);
}

}  // namespace tarnhollow::directory
