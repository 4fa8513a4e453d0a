// The directory host's handling of hostile input: datagrams from a few sources into the
// devices' side (registrations, acknowledgements, answer fragments, closes) mixed with
// browsers' requests relayed, dropped and drained; and the bytes of each record also as
// a browser's request and as NearMe queries. Nothing may crash, leak or read out of
// bounds; a complete request never claims more than was received.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <asio/io_context.hpp>

#include "directory/BrowserRequest.h"
#include "directory/DeviceLink.h"
#include "directory/NearMeQuery.h"
#include "fuzz/FuzzCheck.h"

using namespace tarnhollow;
using namespace tarnhollow::directory;

namespace {

struct Sink : ChannelSink {
    void OnChannelFailed(int) override { ended = true; }
    void OnAnswerBytes(std::string_view bytes) override { received += bytes.size(); }
    void OnChannelEnded() override { ended = true; }
    size_t Backlog() const override { return received % (2 * kMaxBufferedAnswer); }
    size_t received = 0;
    bool ended = false;
};

}  // namespace

// Records: one byte of operation and source, a two-byte little-endian length, the bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    asio::io_context io;
    DeviceLink link(io, std::chrono::milliseconds(20000), {}, [](const std::string&) {});
    std::vector<std::unique_ptr<Sink>> sinks;
    std::vector<DeviceLink::Handle> handles;
    size_t at = 0;
    while (at + 3 <= size) {
        const uint8_t operation = data[at];
        const size_t length = std::min<size_t>(data[at + 1] | (data[at + 2] << 8), relay::kReceiveBytes);
        at += 3;
        const std::string_view bytes(reinterpret_cast<const char*>(data) + at, std::min(length, size - at));
        at += bytes.size();
        const Ipv4Endpoint source{0x7F000001, static_cast<uint16_t>(1000 + (operation >> 2) % 4)};
        switch (operation % 4) {
            case 0:
                link.OnDatagram(bytes, source);
                break;
            case 1: {
                sinks.push_back(std::make_unique<Sink>());
                const auto relayed = link.Relay("dev.example.net", "127.0.0.1:1", bytes, *sinks.back());
                if (relayed.handle) handles.push_back(relayed.handle);
                break;
            }
            case 2:
                if (!handles.empty()) link.Drop(handles[(operation >> 4) % handles.size()]);
                break;
            default:
                if (!handles.empty()) link.Drained(handles[(operation >> 4) % handles.size()]);
                break;
        }
        const BrowserRequest request = ParseBrowserRequest(bytes, kMaxRequestBytes);
        if (request.state == BrowserRequest::State::Complete) FuzzCheck(request.size <= bytes.size());
        std::string problem;
        if (const auto query = ParseNearMeRequest(bytes, problem)) {
            FuzzCheck(query->precision >= 0 && query->precision <= kMaxNearMePrecision);
            NearMeScript({{"a.net", 123519, query->longitude, query->latitude, 80}}, query->precision);
        }
        if (const auto update = ParseNearMeUpdate(bytes, problem)) FuzzCheck(!update->server.empty());
    }
    for (DeviceLink::Handle handle : handles) link.Drop(handle);
    FuzzCheck(link.Channels() == 0);
    return 0;
}
