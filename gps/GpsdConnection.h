// gpsd as an NMEA port: a TCP connection to its address on which it is asked to send
// the NMEA sentences of its receivers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace tarnhollow {

inline constexpr char kDefaultGpsdPort[] = "2947";
// What gpsd is told once connected: report, and report as NMEA.
inline constexpr char kGpsdWatchCommand[] = "?WATCH={\"enable\":true,\"nmea\":true}\n";

struct GpsdAddress {
    std::string host;
    std::string port;
};

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT"; nothing when the host is empty or
// the port is not a number from 1 to 65535.
std::optional<GpsdAddress> ParseGpsdAddress(std::string_view text);

// Connects to gpsd at `address` and sends the watch command. Waiting ends after
// `timeoutMilliseconds` per address tried, or when `wakeFd` becomes readable. An
// invalid descriptor when no connection could be made (a refused one included).
UniqueFd ConnectToGpsd(std::string_view address, int timeoutMilliseconds, int wakeFd);

}  // namespace tarnhollow
