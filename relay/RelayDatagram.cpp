// Byte order of the header, the two fixed datagrams, and the checks each fragment of a
// message passes before it is placed.
#include "relay/RelayDatagram.h"

#include <algorithm>
#include <cstring>

namespace tarnhollow::relay {

namespace {

void PutWord(char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetWord(const char* in) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[i]);
    return value;
}

}  // namespace

void EncodeHeader(const DatagramHeader& header, char* out) {
    PutWord(out, header.flags);
    PutWord(out + 4, header.channel);
    PutWord(out + 8, header.sequence);
    PutWord(out + 12, (static_cast<uint32_t>(header.length) << 16) | header.offset);
}

std::optional<DatagramHeader> DecodeHeader(std::string_view datagram) {
    if (datagram.size() < kHeaderBytes) return std::nullopt;
    DatagramHeader header;
    header.flags = GetWord(datagram.data());
    header.channel = GetWord(datagram.data() + 4);
    header.sequence = GetWord(datagram.data() + 8);
    const uint32_t place = GetWord(datagram.data() + 12);
    header.length = static_cast<uint16_t>(place >> 16);
    header.offset = static_cast<uint16_t>(place & 0xFFFF);
    return header;
}

std::string RegistrationDatagram(std::string_view nameBytes) {
    nameBytes = nameBytes.substr(0, kMaxNameBytes);
    std::string datagram(kHeaderBytes, '\0');
    EncodeHeader({.flags = kRegistration, .channel = 0}, datagram.data());
    datagram.append(nameBytes);
    // The name's zero, and the one byte after it the directory host reads as well.
    datagram.append(2, '\0');
    return datagram;
}

std::string Acknowledgement(const DatagramHeader& message) {
    std::string datagram(kHeaderBytes, '\0');
    EncodeHeader({.flags = message.flags | kAcknowledgement, .channel = message.channel, .sequence = message.sequence},
                 datagram.data());
    return datagram;
}

MessageAssembly::MessageAssembly() : buffer_(std::make_unique<char[]>(kMessageBytes)) {}

void MessageAssembly::Reset() {
    header_ = DatagramHeader{};
    expectedSequence_ = 0;
    announced_.reset();
    placed_.reset();
    collected_ = 0;
}

void MessageAssembly::Expect(uint32_t channel, uint32_t sequence) {
    Reset();
    header_.channel = channel;
    expectedSequence_ = sequence;
}

MessageAssembly::Step MessageAssembly::Accept(std::string_view datagram, const std::function<uint32_t()>& newChannel) {
    const std::optional<DatagramHeader> fragment = DecodeHeader(datagram);
    if (!fragment) return Step::Ignored;
    if (fragment->flags == kRegistrationAcknowledgement ||
        (fragment->flags & (kAcknowledgement | kRegistration | kControl))) {
        Reset();
        return Step::Stop;
    }
    uint32_t channel = fragment->channel;
    if (fragment->flags & kNewChannel) {
        if (channel == kNoChannel) channel = newChannel();
        header_.channel = channel;
    }
    if (channel != header_.channel) {
        Reset();
        return Step::Abandon;
    }
    if (fragment->sequence < expectedSequence_) return Step::Ignored;
    if (fragment->sequence > expectedSequence_) {
        Reset();
        return Step::Abandon;
    }
    if (announced_ && *announced_ != fragment->length) {
        Reset();
        return Step::Abandon;
    }
    const std::string_view payload = datagram.substr(kHeaderBytes);
    // Bytes past the announced length would let the count reach it with a hole left.
    if (fragment->length > kMessageBytes || fragment->offset + payload.size() > fragment->length) {
        Reset();
        return Step::Abandon;
    }
    announced_ = fragment->length;
    header_.flags = fragment->flags;
    header_.sequence = fragment->sequence;
    header_.length = fragment->length;
    std::memcpy(buffer_.get() + fragment->offset, payload.data(), payload.size());
    for (size_t i = fragment->offset; i < fragment->offset + payload.size(); ++i) {
        if (!placed_[i]) {
            placed_[i] = true;
            ++collected_;
        }
    }
    return Finish();
}

MessageAssembly::Step MessageAssembly::Finish() {
    if (collected_ != *announced_) return Step::Collecting;
    // A close ends the channel with whatever it carried; anything else counts only
    // with bytes in it.
    if (header_.flags & kClose) return Step::Complete;
    return collected_ > 0 ? Step::Complete : Step::Collecting;
}

}  // namespace tarnhollow::relay
