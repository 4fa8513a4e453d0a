// A relay directory host for the tests: a UDP socket on 127.0.0.1 that the test drives
// datagram by datagram, with helpers to send a request in fragments and to collect an
// answer, acknowledging each of its messages.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "relay/RelayDatagram.h"

namespace tarnhollow::test {

class ScriptedDirectoryHost {
public:
    ScriptedDirectoryHost() {
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~ScriptedDirectoryHost() { ::close(socket_); }
    ScriptedDirectoryHost(const ScriptedDirectoryHost&) = delete;
    ScriptedDirectoryHost& operator=(const ScriptedDirectoryHost&) = delete;

    uint16_t Port() const { return port_; }
    // Where the device's datagrams come from; learnt from the first one when not set.
    void SetDevicePort(uint16_t port) { devicePort_ = port; }
    uint16_t DevicePort() const { return devicePort_; }

    void Send(const std::string& datagram) const {
        const sockaddr_in to = Loopback(devicePort_);
        ::sendto(socket_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    // The next datagram, or nothing after `milliseconds` without one.
    std::optional<std::string> Receive(int milliseconds = 5000) {
        pollfd ready{socket_, POLLIN, 0};
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (::poll(&ready, 1, milliseconds) != 1) return std::nullopt;
        const ssize_t n = ::recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) return std::nullopt;
        if (devicePort_ == 0) devicePort_ = ntohs(from.sin_port);
        return std::string(buffer, static_cast<size_t>(n));
    }
    // The next datagram that is not a registration.
    std::optional<std::string> ReceiveSkippingRegistrations(int milliseconds = 5000) {
        auto datagram = Receive(milliseconds);
        while (datagram && Header(*datagram).flags == relay::kRegistration) datagram = Receive(milliseconds);
        return datagram;
    }

    static std::string Datagram(const relay::DatagramHeader& header, const std::string& payload = "") {
        std::string datagram(relay::kHeaderBytes, '\0');
        relay::EncodeHeader(header, datagram.data());
        return datagram + payload;
    }
    static relay::DatagramHeader Header(const std::string& datagram) {
        return relay::DecodeHeader(datagram).value_or(relay::DatagramHeader{.flags = 0xFFFFFFFF});
    }

    // The fragments of a new-channel message carrying `message`, in the order `order`
    // gives (indexes of 1300-byte fragments; every fragment in order when empty).
    static std::vector<std::string> RequestFragments(const std::string& message, std::vector<size_t> order = {}) {
        if (order.empty()) {
            for (size_t i = 0; i * relay::kMaxPayloadBytes < message.size(); ++i) order.push_back(i);
        }
        std::vector<std::string> fragments;
        for (size_t i : order) {
            const auto offset = static_cast<uint16_t>(i * relay::kMaxPayloadBytes);
            fragments.push_back(Datagram({.flags = relay::kNewChannel, .length = static_cast<uint16_t>(message.size()),
                                          .offset = offset},
                                         message.substr(offset, relay::kMaxPayloadBytes)));
        }
        return fragments;
    }

    // An answer as it came: each message's sequence number and size, all its bytes,
    // and the close datagram's header when one came.
    struct Answer {
        std::vector<uint32_t> sequences;
        std::vector<size_t> sizes;
        std::string bytes;
        std::optional<relay::DatagramHeader> close;
    };
    // Collects messages on `channel`, acknowledging each once complete unless told not
    // to, until the close datagram (or `milliseconds` of silence).
    Answer CollectAnswer(uint32_t channel, int milliseconds = 5000, bool acknowledge = true) {
        Answer answer;
        std::string message;
        size_t collected = 0;
        while (auto datagram = ReceiveSkippingRegistrations(milliseconds)) {
            const relay::DatagramHeader header = Header(*datagram);
            if (header.channel != channel) continue;
            if (header.flags & relay::kClose) {
                answer.close = header;
                break;
            }
            if (message.size() != header.length) message.assign(header.length, '\0');
            const std::string payload = datagram->substr(relay::kHeaderBytes);
            std::copy(payload.begin(), payload.end(), message.begin() + header.offset);
            if ((collected += payload.size()) < header.length) continue;
            answer.sequences.push_back(header.sequence);
            answer.sizes.push_back(message.size());
            answer.bytes += message;
            if (acknowledge) Send(relay::Acknowledgement(header));
            collected = 0;
        }
        return answer;
    }

private:
    static sockaddr_in Loopback(uint16_t port) {
        sockaddr_in address{.sin_family = AF_INET, .sin_port = htons(port)};
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    int socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    uint16_t port_ = 0;
    uint16_t devicePort_ = 0;
};

}  // namespace tarnhollow::test
