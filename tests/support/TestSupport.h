// Helpers shared by the tests: temporary folders and files, and a running server
// process on a loopback port for the black-box tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace tarnhollow::test {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Writes `bytes` to Path()/relative, creating folders on the way; returns the full path.
    std::string Write(const std::string& relative, const std::string& bytes) const;
    std::string Read(const std::string& relative) const;

private:
    std::string path_;
};

}  // namespace tarnhollow::test

namespace tarnhollow::test {

// The real binary, started headless on a free loopback port with its own settings file
// and document root; stopped (SIGTERM, then waited for) when the object goes.
class ServerProcess {
public:
    struct Options {
        std::string root;      // document root; required
        std::string settings;  // settings file; a fresh one in a temporary folder when empty
        int port = 0;          // 0 picks a free port
        bool passPort = true;  // false leaves --port out, so the stored Port applies
        std::vector<std::string> extraArguments;
        std::vector<std::string> environment;  // extra NAME=VALUE entries
        int maxOpenFiles = 0;                  // RLIMIT_NOFILE for the server when non-zero
        bool headless = true;                  // false leaves --headless out (the window, given DISPLAY)
    };
    explicit ServerProcess(Options options);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // True once the port accepts connections (waits up to 10 seconds).
    bool WaitUntilListening();
    // Sends SIGTERM and waits; returns the exit status (or -1 when killed by a signal).
    int Stop();
    // Waits for the process to end by itself; returns its exit status.
    int Wait();

    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    const std::string& SettingsFile() const { return options_.settings; }
    std::string Stdout() const;
    std::string Stderr() const;

private:
    Options options_;
    TempDir scratch_;
    int port_ = 0;
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

// A port that was free a moment ago on 127.0.0.1.
int FreePort();

// A TCP connection to 127.0.0.1:port with a 20-second receive time-out; -1 on failure.
int Connect(int port);

// Sends `request` as given (in `pieces`, with an optional pause between them) to
// 127.0.0.1:port and returns every byte received until the server closes.
std::string RawExchange(int port, const std::vector<std::string>& pieces, int pauseMilliseconds = 0);
inline std::string RawExchange(int port, const std::string& request) {
    return RawExchange(port, std::vector<std::string>{request});
}

// "HTTP/1.0 ..." split into head (up to the blank line) and body.
struct Response {
    std::string statusLine;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string raw;
    // Value of the first header with this name (case-insensitive); empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};
Response ParseResponse(const std::string& raw);

// GET `path` (and optional extra header lines ending in CRLF) over HTTP/1.0.
Response Get(int port, const std::string& path, const std::string& extraHeaders = "");

}  // namespace tarnhollow::test
