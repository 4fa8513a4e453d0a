// Serial terminals as NMEA ports: exclusive read-only open, raw input while open, and
// reading with a time-out that a stop request can cut short.
#include "gps/NmeaPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "gps/GpsdConnection.h"

namespace tarnhollow {

namespace {

// Canonical input would hold bytes back and rewrite line breaks, echo would send every
// sentence back into the receiver, and signal characters would be swallowed. Speed,
// character size, parity and flow control stay as the device presents them.
termios RawInput(termios settings) {
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    settings.c_iflag &= ~static_cast<tcflag_t>(INLCR | IGNCR | ICRNL | ISTRIP | BRKINT | PARMRK);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return settings;
}

std::unique_ptr<NmeaPort> OpenDevice(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !(S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode))) return nullptr;
    // Non-blocking, so that neither a missing carrier nor a pipe without a writer holds
    // the open; reads wait in poll instead.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen()) return nullptr;
    if (::fstat(fd.Get(), &status) != 0 || !(S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode))) return nullptr;
    // Another reader of ours holds it, or gpsd (which makes its devices exclusive).
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
    termios original{};
    if (::tcgetattr(fd.Get(), &original) != 0) {
        // A receiver is a terminal; another kind of device is nothing to read from.
        if (!S_ISFIFO(status.st_mode)) return nullptr;
        return std::make_unique<NmeaPort>(std::move(fd), std::nullopt);
    }
    const termios raw = RawInput(original);
    if (::tcsetattr(fd.Get(), TCSANOW, &raw) != 0) return nullptr;
    ::ioctl(fd.Get(), TIOCEXCL);
    return std::make_unique<NmeaPort>(std::move(fd), original);
}

}  // namespace

bool WaitReady(int fd, short events, int timeoutMilliseconds, int wakeFd, bool* woken) {
    if (woken) *woken = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        pollfd polled[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(polled, wakeFd >= 0 ? 2 : 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (wakeFd >= 0 && (polled[1].revents & POLLIN)) {
            if (woken) *woken = true;
            return false;
        }
        // An error or hang-up is ready too: the read or connect that follows reports it.
        return polled[0].revents != 0;
    }
}

std::unique_ptr<NmeaPort> NmeaPort::Open(const std::string& name, int timeoutMilliseconds, int wakeFd) {
    if (name.starts_with(kGpsdScheme)) {
        UniqueFd connection = ConnectToGpsd(name.substr(sizeof kGpsdScheme - 1), timeoutMilliseconds, wakeFd);
        if (!connection.IsOpen()) return nullptr;
        return std::make_unique<NmeaPort>(std::move(connection), std::nullopt);
    }
    return OpenDevice(name);
}

NmeaPort::NmeaPort(UniqueFd fd, std::optional<termios> original) : fd_(std::move(fd)), original_(original) {}

NmeaPort::~NmeaPort() {
    if (!original_) return;
    // Quiets the port before it is closed, and gives it back as it was found.
    ::tcflush(fd_.Get(), TCIOFLUSH);
    ::tcsetattr(fd_.Get(), TCSANOW, &*original_);
    ::ioctl(fd_.Get(), TIOCNXCL);
}

NmeaPort::ReadResult NmeaPort::Read(char* buffer, size_t size, int timeoutMilliseconds, int wakeFd,
                                    size_t& bytesRead) {
    bytesRead = 0;
    bool woken = false;
    if (!WaitReady(fd_.Get(), POLLIN, timeoutMilliseconds, wakeFd, &woken)) {
        return woken ? ReadResult::Woken : ReadResult::Nothing;
    }
    ssize_t n;
    do {
        n = ::read(fd_.Get(), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadResult::Nothing;
    if (n <= 0) return ReadResult::Failed;
    bytesRead = static_cast<size_t>(n);
    return ReadResult::Data;
}

}  // namespace tarnhollow
