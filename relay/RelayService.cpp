// Receiving on the relay socket: the source check, replies routed to the request that
// waits for them, message reassembly with its passes as a timer, and new requests.
#include "relay/RelayService.h"

#include <cerrno>

#include "platform/TextConvert.h"
#include "relay/RelayedRequest.h"

namespace tarnhollow {

namespace {

// Channel ids are never reused while the program runs, across server restarts.
uint32_t lastChannel = 0;

uint32_t NextChannel() {
    if (++lastChannel == relay::kNoChannel) lastChannel = 1;
    return lastChannel;
}

}  // namespace

RelayService::RelayService(asio::io_context& io, RelayRegistration& registration, int32_t periodMilliseconds,
                           Adopt adopt, RelayTimings timings)
    : AsyncDatagram(io),
      registration_(registration),
      period_(periodMilliseconds),
      adopt_(std::move(adopt)),
      timings_(timings),
      passTimer_(io),
      datagram_(std::make_unique<char[]>(relay::kReceiveBytes)) {}

RelayService::~RelayService() {
    serviceAlive_.Expire();
    if (registering_) registration_.StopWorker();
    // The requests outlive this service in their connections; they end without it.
    auto requests = std::move(requests_);
    for (auto& [channel, request] : requests) request->LoseService();
    Close();
}

bool RelayService::Start(int& error) {
    if (!Open(0, error)) return false;
    Select(kRead);
    return true;
}

void RelayService::SetPublicName(std::wstring_view hostName) {
    if (hostName.empty()) {
        // The worker is not waited for: a tick it posts later finds nothing to send.
        if (registering_) registration_.StopWorker();
        registering_ = false;
        return;
    }
    registrationDatagram_ = relay::RegistrationDatagram(WideToAnsi(std::wstring(hostName)));
    registering_ = true;
    registration_.StartWorker(period_);
}

void RelayService::OnRegistrationDue(const Ipv4Endpoint& directoryHost) {
    if (!registering_) return;
    directoryHost_ = directoryHost;
    SendDatagram(registrationDatagram_);
}

bool RelayService::SendDatagram(std::string_view datagram) {
    if (!directoryHost_) return false;
    return SendTo(datagram.data(), datagram.size(), *directoryHost_) == static_cast<long>(datagram.size());
}

void RelayService::OnReceive(int) {
    for (int i = 0; i < relay::kDatagramsPerWakeup; ++i) {
        Ipv4Endpoint from;
        const long n = ReceiveFrom(datagram_.get(), relay::kReceiveBytes, from);
        if (n < 0) return;
        // Only the directory host speaks on this socket: anyone else could make it
        // answer a forged address or pose as the directory host.
        if (!directoryHost_ || from != *directoryHost_) continue;
        const auto token = serviceAlive_.Weak();
        Handle({datagram_.get(), static_cast<size_t>(n)});
        if (token.expired()) return;
    }
}

void RelayService::Handle(std::string_view datagram) {
    // A reply to a message a request sent goes to that request alone.
    if (datagram.size() == relay::kHeaderBytes) {
        const relay::DatagramHeader header = *relay::DecodeHeader(datagram);
        auto found = requests_.find(header.channel);
        if (found != requests_.end() && found->second->AwaitingReply()) {
            found->second->OnReply(header);
            return;
        }
    }
    if (!assembly_.Begun()) passesEnded_ = 0;
    switch (assembly_.Accept(datagram, NextChannel)) {
        case relay::MessageAssembly::Step::Ignored:
            // Every datagram renews the wait of a message in progress.
            if (assembly_.Begun()) WaitForFragment();
            return;
        case relay::MessageAssembly::Step::Collecting:
            WaitForFragment();
            return;
        case relay::MessageAssembly::Step::Stop:
        case relay::MessageAssembly::Step::Abandon:
            ++waitGeneration_;
            return;
        case relay::MessageAssembly::Step::Complete:
            ++waitGeneration_;
            Dispatch();
            return;
    }
}

void RelayService::WaitForFragment() {
    // A wait that a later datagram replaced finds its generation gone when it fires.
    const uint64_t generation = ++waitGeneration_;
    passTimer_.expires_after(timings_.receiveWait);
    passTimer_.async_wait(serviceAlive_.Guard([this, generation](const asio::error_code&) {
        if (generation == waitGeneration_) OnPassEnded();
    }));
}

void RelayService::OnPassEnded() {
    // A wait ran out with the message incomplete: the next pass, or it is abandoned.
    if (++passesEnded_ < relay::kReceivePasses) {
        WaitForFragment();
        return;
    }
    assembly_.Reset();
}

void RelayService::Dispatch() {
    const relay::DatagramHeader header = assembly_.Header();
    const std::string_view message = assembly_.Message();
    if (header.flags & relay::kClose) {
        assembly_.Reset();
        return;
    }
    if ((header.flags & relay::kNewChannel) && requests_.size() >= relay::kMaxOpenChannels) {
        assembly_.Reset();
        return;
    }
    SendDatagram(relay::Acknowledgement(header));
    if (!(header.flags & relay::kNewChannel) || requests_.count(header.channel)) {
        assembly_.Reset();
        return;
    }
    // The first line is the directory host's own; the browser's request follows it.
    const size_t lineEnd = message.find("\r\n");
    const std::string request(lineEnd == std::string_view::npos ? message : message.substr(lineEnd + 2));
    assembly_.Reset();
    auto transport = std::make_unique<RelayedRequest>(*this, header.channel, request);
    requests_.emplace(header.channel, transport.get());
    adopt_(std::move(transport));
}

}  // namespace tarnhollow
