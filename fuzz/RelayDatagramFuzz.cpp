// Arbitrary datagrams from the directory host through the relay's header decoding and
// message reassembly: each datagram is a two-byte little-endian length and its bytes.
// Nothing may crash or read out of bounds; a header encodes back to the bytes it came
// from; a complete message holds exactly its announced length.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "relay/RelayDatagram.h"

using namespace tarnhollow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    relay::MessageAssembly assembly;
    uint32_t channels = 0;
    size_t at = 0;
    while (at + 2 <= size) {
        const size_t length = std::min<size_t>(data[at] | (data[at + 1] << 8), relay::kReceiveBytes);
        at += 2;
        const std::string_view datagram(reinterpret_cast<const char*>(data) + at, std::min(length, size - at));
        at += datagram.size();
        if (const auto header = relay::DecodeHeader(datagram)) {
            char encoded[relay::kHeaderBytes];
            relay::EncodeHeader(*header, encoded);
            FuzzCheck(std::memcmp(encoded, datagram.data(), relay::kHeaderBytes) == 0);
        }
        const auto step = assembly.Accept(datagram, [&] { return ++channels; });
        if (step == relay::MessageAssembly::Step::Complete) {
            FuzzCheck(assembly.Message().size() == assembly.Header().length);
            FuzzCheck(assembly.Message().size() <= relay::kMessageBytes);
            FuzzCheck(relay::Acknowledgement(assembly.Header()).size() == relay::kHeaderBytes);
            assembly.Reset();
        }
        if (step == relay::MessageAssembly::Step::Collecting) FuzzCheck(assembly.Begun());
    }
    return 0;
}
