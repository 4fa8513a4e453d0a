// Stand-ins for a GPS receiver, shared by the reader's and the black-box tests: a
// pseudo-terminal the test writes NMEA into, a loopback listener for a fake gpsd or
// NearMe endpoint, and NMEA sentences with their checksums.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace tarnhollow::test {

// "$" + body + "*" + the two-digit checksum + CR LF.
inline std::string Sentence(const std::string& body, bool lowerCaseChecksum = false) {
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, lowerCaseChecksum ? "%02x" : "%02X", sum & 0xFF);
    return "$" + body + "*" + checksum + "\r\n";
}

// The example fix: 12:35:19 UTC at 48.1173 N, 11.51666667 E, quality 1, HDOP 0.9.
inline const std::string kExampleBody = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

// Polls `done` every 5 ms for up to `seconds`; true once it holds.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (std::chrono::steady_clock::now() > deadline) return false;
    }
    return true;
}

// A receiver on a pseudo-terminal. The test keeps the device side open in raw mode and
// never reads it, so what it writes waits while the reader has the port closed.
struct PtyReceiver {
    PtyReceiver() {
        char name[128] = {};
        if (::openpty(&master_, &device_, name, nullptr, nullptr) != 0) return;
        name_ = name;
        termios settings{};
        ::tcgetattr(device_, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(device_, TCSANOW, &settings);
    }
    ~PtyReceiver() { ::close(master_), ::close(device_); }
    PtyReceiver(const PtyReceiver&) = delete;
    const std::string& Name() const { return name_; }  // the device path the reader opens
    bool Send(const std::string& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

private:
    int master_ = -1, device_ = -1;
    std::string name_;
};

// A listening TCP socket on 127.0.0.1 and its port.
struct LoopbackListener {
    LoopbackListener() {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
    }
    ~LoopbackListener() { ::close(fd); }
    // The next connection, or -1 when none comes within 10 seconds.
    int Accept() const {
        pollfd polled{fd, POLLIN, 0};
        return ::poll(&polled, 1, 10000) == 1 ? ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = 0;
};

}  // namespace tarnhollow::test
