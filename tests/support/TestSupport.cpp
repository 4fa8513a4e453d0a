// Temporary folders for the tests.
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tarnhollow::test {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "tarnhollow-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path full = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << bytes;
    return full.string();
}

std::string TempDir::Read(const std::string& relative) const {
    std::ifstream in(std::filesystem::path(path_) / relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tarnhollow::test

namespace tarnhollow::test {

int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

int Connect(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    timeval timeout{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::string RawExchange(int port, const std::vector<std::string>& pieces, int pauseMilliseconds) {
    int fd = Connect(port);
    if (fd < 0) return std::string();
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i && pauseMilliseconds) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMilliseconds));
        size_t done = 0;
        while (done < pieces[i].size()) {
            ssize_t n = ::send(fd, pieces[i].data() + done, pieces[i].size() - done, MSG_NOSIGNAL);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    std::string received;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return received;
}

Response ParseResponse(const std::string& raw) {
    Response r;
    r.raw = raw;
    size_t end = raw.find("\r\n\r\n");
    std::string head = end == std::string::npos ? raw : raw.substr(0, end);
    r.body = end == std::string::npos ? std::string() : raw.substr(end + 4);
    size_t pos = 0;
    bool first = true;
    while (pos <= head.size()) {
        size_t eol = head.find("\r\n", pos);
        if (eol == std::string::npos) eol = head.size();
        std::string line = head.substr(pos, eol - pos);
        if (first) {
            r.statusLine = line;
            first = false;
        } else if (size_t colon = line.find(": "); colon != std::string::npos) {
            r.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
        }
        pos = eol + 2;
    }
    return r;
}

std::string Response::Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    }
    return std::string();
}

bool Response::HasHeader(const std::string& name) const {
    for (const auto& header : headers) {
        if (strcasecmp(header.first.c_str(), name.c_str()) == 0) return true;
    }
    return false;
}

Response Get(int port, const std::string& path, const std::string& extraHeaders) {
    return ParseResponse(RawExchange(port, "GET " + path + " HTTP/1.0\r\n" + extraHeaders + "\r\n"));
}

ServerProcess::ServerProcess(Options options) : options_(std::move(options)) {
    if (options_.settings.empty()) options_.settings = scratch_.Path() + "/settings.toml";
    port_ = options_.port ? options_.port : FreePort();
    const std::string out = scratch_.Path() + "/stdout";
    const std::string err = scratch_.Path() + "/stderr";
    std::vector<std::string> args = {TARNHOLLOW_BINARY, "--settings", options_.settings, "--root", options_.root};
    if (options_.headless) args.insert(args.begin() + 1, "--headless");
    if (options_.passPort) {
        args.push_back("--port");
        args.push_back(std::to_string(port_));
    }
    args.insert(args.end(), options_.extraArguments.begin(), options_.extraArguments.end());
    pid_ = ::fork();
    if (pid_ == 0) {
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::setenv("XDG_STATE_HOME", (scratch_.Path() + "/state").c_str(), 1);
        if (options_.maxOpenFiles) {
            rlimit limit{static_cast<rlim_t>(options_.maxOpenFiles), static_cast<rlim_t>(options_.maxOpenFiles)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        for (const std::string& entry : options_.environment) ::putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

ServerProcess::~ServerProcess() {
    if (!ended_) Stop();
}

bool ServerProcess::WaitUntilListening() {
    for (int i = 0; i < 1000; ++i) {
        int fd = Connect(port_);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            ended_ = true;
            status_ = status;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int ServerProcess::Stop() {
    if (!ended_ && pid_ > 0) ::kill(pid_, SIGTERM);
    return Wait();
}

int ServerProcess::Wait() {
    if (!ended_ && pid_ > 0) {
        ::waitpid(pid_, &status_, 0);
        ended_ = true;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

std::string ServerProcess::Stdout() const { return ReadFile(scratch_.Path() + "/stdout"); }
std::string ServerProcess::Stderr() const { return ReadFile(scratch_.Path() + "/stderr"); }

}  // namespace tarnhollow::test
