// Where the reader's NMEA bytes come from: a serial terminal (opened read-only and
// exclusively, switched to raw input without echo while open, its line settings
// otherwise untouched and restored on close) or a connection to gpsd. Used by the
// reader's thread alone.
#pragma once

#include <termios.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/File.h"

namespace tarnhollow {

// A port name of this form reads NMEA from gpsd over TCP instead of a device.
inline constexpr char kGpsdScheme[] = "gpsd://";

class NmeaPort {
public:
    // What Read brought.
    enum class ReadResult { Data, Nothing, Failed, Woken };

    // Opens the port `name`: a gpsd address ("gpsd://HOST[:PORT]") or a device path.
    // A device must exist and be a terminal or a pipe; it is not created. Waiting (for
    // gpsd's connection) ends after `timeoutMilliseconds` or when `wakeFd` becomes
    // readable. Null when the port cannot be opened or set up.
    static std::unique_ptr<NmeaPort> Open(const std::string& name, int timeoutMilliseconds, int wakeFd);

    NmeaPort(UniqueFd fd, std::optional<termios> original);
    // Flushes both directions, restores the terminal's settings and closes.
    ~NmeaPort();
    NmeaPort(const NmeaPort&) = delete;
    NmeaPort& operator=(const NmeaPort&) = delete;

    // Waits up to `timeoutMilliseconds` for bytes, then reads up to `size` of them into
    // `buffer` (`bytesRead` says how many). Nothing when none came in time; Failed on an
    // error or the end of the stream; Woken, reading nothing, when `wakeFd` became
    // readable first.
    ReadResult Read(char* buffer, size_t size, int timeoutMilliseconds, int wakeFd, size_t& bytesRead);

private:
    UniqueFd fd_;
    // The terminal's settings before it was switched to raw input; none for a pipe or
    // a connection.
    std::optional<termios> original_;
};

// Waits until `fd` is ready for `events` (POLLIN or POLLOUT); false on time-out, on an
// error, or when `wakeFd` (when not -1) became readable first.
bool WaitReady(int fd, short events, int timeoutMilliseconds, int wakeFd, bool* woken = nullptr);

}  // namespace tarnhollow
