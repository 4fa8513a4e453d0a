// Every bound the directory host puts on what devices and browsers may send or hold,
// and its default ports and periods, in one place.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "relay/RelayDatagram.h"

namespace tarnhollow::directory {

inline constexpr uint16_t kDefaultUdpPort = 1212;
inline constexpr uint16_t kDefaultHttpPort = 8080;

// Registrations: a device repeats its name every period (ServicePeriod, 20 s by default);
// a name not heard of for three periods is forgotten.
inline constexpr int kDefaultPeriodMilliseconds = 20000;
inline constexpr int kMissedPeriods = 3;
inline constexpr size_t kMaxNames = 100000;
// Devices behind one address translator share its address, so this is generous; it
// stops one source from filling the table.
inline constexpr size_t kMaxNamesPerAddress = 256;
inline constexpr size_t kMaxDnsNameBytes = 253;
inline constexpr size_t kMaxDnsLabelBytes = 63;

// Browsers.
inline constexpr size_t kMaxConnections = 2048;
inline constexpr size_t kMaxConnectionsPerAddress = 32;
// The whole request must come within this, or the connection is closed unanswered.
inline constexpr std::chrono::seconds kRequestTime{20};
// A browser that takes no byte of the answer for this long is cut off, with its channel.
inline constexpr std::chrono::seconds kBrowserStall{30};
// Answer bytes held for a slow browser before the device's next message waits for its
// acknowledgement.
inline constexpr size_t kMaxBufferedAnswer = 256 * 1024;
// The request goes to the device in one message, behind the line that names the browser.
inline constexpr size_t kMaxFirstLineBytes = 64;
inline constexpr size_t kMaxRequestBytes = relay::kMessageBytes - kMaxFirstLineBytes;

// Devices: channels open at once (a device takes no more), requests waiting for one,
// the opening message's attempts, and the silence after which a channel is given up.
inline constexpr size_t kMaxOpenChannelsPerDevice = relay::kMaxOpenChannels;
inline constexpr size_t kMaxWaitingPerDevice = 256;
inline constexpr int kOpenAttempts = relay::kSendAttempts;

struct ChannelTimings {
    std::chrono::milliseconds openAttemptWait{5000};
    std::chrono::milliseconds deviceSilence{30000};
};

// NearMe.
inline constexpr long kMaxNearMeAgeSeconds = 7 * 24 * 3600;
inline constexpr long kMaxNearMeResults = 1000;
inline constexpr long kMaxNearMePrecision = 8;
inline constexpr size_t kMaxNumberChars = 24;

}  // namespace tarnhollow::directory
