// The relay's datagrams: the 16-byte header, the registration and acknowledgement
// datagrams, and the reassembly of one message from its fragments. Pure: no sockets.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarnhollow::relay {

// Every bound on what the directory host may send, in one place.
inline constexpr size_t kHeaderBytes = 16;
inline constexpr size_t kMaxPayloadBytes = 1300;
inline constexpr size_t kMessageBytes = 16384;
// A longer datagram is cut to this on receipt.
inline constexpr size_t kReceiveBytes = 16 + 1500;
// The public name's bytes in a registration, without its zero.
inline constexpr size_t kMaxNameBytes = 1499;
// Waits without a datagram before a message is abandoned, and sends of one message
// before it fails.
inline constexpr int kReceivePasses = 5;
inline constexpr int kSendAttempts = 5;
// Relayed requests open at once; a new channel past it is not acknowledged, so the
// directory host tries again later.
inline constexpr size_t kMaxOpenChannels = 64;
// Datagrams read per readiness notification, so a flood cannot hold the server thread.
inline constexpr int kDatagramsPerWakeup = 64;

enum Flag : uint32_t {
    kNewChannel = 0x01,
    kClose = 0x02,
    kAcknowledgement = 0x04,
    kRegistration = 0x08,
    kControl = 0x10,
};
inline constexpr uint32_t kRegistrationAcknowledgement = kRegistration | kAcknowledgement;
inline constexpr uint32_t kNoChannel = 0xFFFFFFFF;

struct DatagramHeader {
    uint32_t flags = 0;
    uint32_t channel = kNoChannel;
    uint32_t sequence = 0;
    // The whole message's length and this fragment's place in it.
    uint16_t length = 0;
    uint16_t offset = 0;
    bool operator==(const DatagramHeader&) const = default;
};

// Four little-endian 32-bit words into `out` (16 bytes).
void EncodeHeader(const DatagramHeader& header, char* out);
// Nothing when the datagram is shorter than a header.
std::optional<DatagramHeader> DecodeHeader(std::string_view datagram);

// Flags 0x08, channel 0, sequence 0, then the name (cut to kMaxNameBytes), its zero and
// one more zero.
std::string RegistrationDatagram(std::string_view nameBytes);
// Exactly a header: the message's flags with the acknowledgement bit, its channel and
// sequence.
std::string Acknowledgement(const DatagramHeader& message);

// One incoming message being put together from its fragments, by their offsets. The
// owner feeds it datagrams and decides when waits run out.
class MessageAssembly {
public:
    enum class Step {
        Ignored,     // not part of this message (short, or a duplicate)
        Stop,        // a datagram of another kind: receiving ends, nothing to do
        Abandon,     // the message cannot be completed; no acknowledgement
        Collecting,  // accepted; more fragments are due
        Complete,    // every announced byte is here (or the channel closed)
    };

    MessageAssembly();

    // Takes one received datagram; `newChannel` numbers a channel the directory host
    // opens. After Stop, Abandon or Complete the next datagram begins a new message.
    Step Accept(std::string_view datagram, const std::function<uint32_t()>& newChannel);
    // Forgets the message in progress.
    void Reset();
    // For the side that did not open the channel (the directory host collecting an
    // answer): forgets the message in progress and takes the next one of `channel`
    // numbered `sequence`.
    void Expect(uint32_t channel, uint32_t sequence);
    // A fragment has been accepted since the last reset.
    bool Begun() const { return announced_.has_value(); }

    // The completed message: its header (flags of its last fragment, channel, sequence,
    // length) and its bytes.
    const DatagramHeader& Header() const { return header_; }
    std::string_view Message() const { return {buffer_.get(), collected_}; }
    // Whether completion asks for an acknowledgement (not for a close).
    bool NeedsAcknowledgement() const { return !(header_.flags & kClose); }

private:
    Step Finish();

    DatagramHeader header_;
    uint32_t expectedSequence_ = 0;
    std::optional<uint16_t> announced_;
    // Bytes placed so far: a fragment sent twice counts once.
    std::bitset<kMessageBytes> placed_;
    size_t collected_ = 0;
    std::unique_ptr<char[]> buffer_;
};

}  // namespace tarnhollow::relay
