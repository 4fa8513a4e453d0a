// Headless Chromium driven through chromedriver for the browser tests that need more than
// the document tree: scripts run in the page, the visitor's colour scheme, a window of a
// given width, screenshots. Everything stays on 127.0.0.1; other host names resolve to
// nothing, as in Chromium.h.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace tarnhollow::test {

inline constexpr char kChromeDriver[] = "/usr/bin/chromedriver";

class WebDriver {
public:
    // A page area of `width` by `height` CSS pixels at scale 1.
    WebDriver(int width, int height) : port_(FreePort()) {
        if (::access(kChromeDriver, X_OK) != 0) return;
        StartDriver();
        if (!WaitForDriver()) return;
        const std::string args = "\"--headless\",\"--no-sandbox\",\"--disable-gpu\",\"--disable-quic\","
                                 "\"--no-first-run\",\"--disable-background-networking\","
                                 "\"--disable-component-update\",\"--disable-sync\",\"--hide-scrollbars\","
                                 "\"--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1\","
                                 "\"--window-size=" +
                                 std::to_string(width) + "," + std::to_string(height) + "\",\"--user-data-dir=" +
                                 profile_.Path() + "/data\"";
        const std::string reply =
            Call("POST", "/session",
                 "{\"capabilities\":{\"alwaysMatch\":{\"browserName\":\"chrome\",\"goog:chromeOptions\":"
                 "{\"binary\":\"/usr/bin/chromium\",\"args\":[" +
                     args + "]}}}}");
        session_ = StringField(reply, "sessionId");
        if (session_.empty()) return;
        Call("POST", SessionPath("/timeouts"), "{\"script\":60000,\"pageLoad\":60000}");
        ok_ = Cdp("Emulation.setDeviceMetricsOverride",
                  "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
                      ",\"deviceScaleFactor\":1,\"mobile\":false}");
    }

    ~WebDriver() {
        if (!session_.empty()) Call("DELETE", SessionPath(""), "");
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            for (int i = 0; i < 100 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, WNOHANG);
        }
    }

    WebDriver(const WebDriver&) = delete;
    WebDriver& operator=(const WebDriver&) = delete;

    bool Ok() const { return ok_; }

    // Loads `url` and returns once the document has loaded.
    bool Navigate(const std::string& url) {
        return IsSuccess(Call("POST", SessionPath("/url"), "{\"url\":\"" + JsonEscape(url) + "\"}"));
    }

    // The JSON text of what the script (a function body) returns; empty on a failure.
    std::string Execute(const std::string& script) { return Run("/execute/sync", script); }

    // As Execute, for a script that finishes by calling arguments[arguments.length-1](value).
    std::string ExecuteAsync(const std::string& script) { return Run("/execute/async", script); }

    // The visitor's system setting that the page's `prefers-color-scheme` sees.
    bool SetColorScheme(const std::string& scheme) {
        return Cdp("Emulation.setEmulatedMedia",
                   "{\"features\":[{\"name\":\"prefers-color-scheme\",\"value\":\"" + JsonEscape(scheme) + "\"}]}");
    }

    // The page area as it is now, as a PNG file.
    bool Screenshot(const std::string& pngPath) {
        const std::string reply = Call("GET", SessionPath("/screenshot"), "");
        const std::string png = Base64Decode(StringField(reply, "value"));
        if (png.empty()) return false;
        std::ofstream out(pngPath, std::ios::binary | std::ios::trunc);
        out << png;
        return static_cast<bool>(out);
    }

    // What chromedriver and the browser wrote, for failure messages.
    std::string Log() const { return profile_.Read("driver.log") + lastError_; }

private:
    void StartDriver() {
        const std::string logFile = profile_.Path() + "/driver.log";
        const std::string portArg = "--port=" + std::to_string(port_);
        pid_ = ::fork();
        if (pid_ == 0) {
            // Its own process group, so that the browser it starts ends with it.
            ::setpgid(0, 0);
            const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(log, 1);
            ::dup2(log, 2);
            ::execl(kChromeDriver, kChromeDriver, portArg.c_str(), "--allowed-ips=127.0.0.1", nullptr);
            ::_exit(127);
        }
        if (pid_ > 0) ::setpgid(pid_, pid_);
    }

    bool WaitForDriver() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Call("GET", "/status", "").find("\"ready\":true") != std::string::npos) return true;
            if (pid_ <= 0 || ::waitpid(pid_, nullptr, WNOHANG) == pid_) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string SessionPath(const std::string& rest) const { return "/session/" + session_ + rest; }

    std::string Run(const std::string& endpoint, const std::string& script) {
        const std::string reply =
            Call("POST", SessionPath(endpoint), "{\"script\":\"" + JsonEscape(script) + "\",\"args\":[]}");
        if (!IsSuccess(reply)) return {};
        return ValueText(reply);
    }

    bool Cdp(const std::string& command, const std::string& params) {
        return IsSuccess(Call("POST", SessionPath("/goog/cdp/execute"),
                              "{\"cmd\":\"" + command + "\",\"params\":" + params + "}"));
    }

    bool IsSuccess(const std::string& reply) {
        if (reply.empty() || reply.find("\"error\":") != std::string::npos) {
            lastError_ = "\nlast reply: " + reply.substr(0, 2000);
            return false;
        }
        return true;
    }

    // One HTTP exchange with chromedriver; the reply's body, or empty.
    std::string Call(const std::string& method, const std::string& path, const std::string& body) {
        std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
        if (method != "GET") {
            request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
        }
        request += "\r\n" + body;
        const int fd = Connect(port_);
        if (fd < 0) return {};
        size_t sent = 0;
        while (sent < request.size()) {
            const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        // chromedriver may keep the connection open, so the reply ends where its length says.
        std::string raw;
        std::string head;
        size_t headEnd = std::string::npos;
        size_t length = std::string::npos;
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            raw.append(buffer, static_cast<size_t>(n));
            if (headEnd == std::string::npos && (headEnd = raw.find("\r\n\r\n")) != std::string::npos) {
                head = raw.substr(0, headEnd);
                for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                const size_t at = head.find("content-length:");
                if (at != std::string::npos) length = std::stoul(head.substr(at + 15));
            }
            if (headEnd == std::string::npos) continue;
            if (length != std::string::npos && raw.size() - headEnd - 4 >= length) break;
            if (length == std::string::npos && raw.size() >= 5 && raw.compare(raw.size() - 5, 5, "0\r\n\r\n") == 0)
                break;
        }
        ::close(fd);
        if (headEnd == std::string::npos) return {};
        const std::string payload = raw.substr(headEnd + 4);
        return head.find("transfer-encoding: chunked") == std::string::npos ? payload : Dechunk(payload);
    }

    static std::string Dechunk(const std::string& chunked) {
        std::string out;
        size_t at = 0;
        while (at < chunked.size()) {
            const size_t lineEnd = chunked.find("\r\n", at);
            if (lineEnd == std::string::npos) break;
            const size_t size = std::stoul(chunked.substr(at, lineEnd - at), nullptr, 16);
            if (size == 0) break;
            out += chunked.substr(lineEnd + 2, size);
            at = lineEnd + 2 + size + 2;
        }
        return out;
    }

    // The text of the reply's "value" member: the whole reply is {"value":...}.
    static std::string ValueText(const std::string& reply) {
        const size_t at = reply.find("\"value\":");
        const size_t end = reply.rfind('}');
        if (at == std::string::npos || end == std::string::npos || end < at + 8) return {};
        return reply.substr(at + 8, end - at - 8);
    }

    // A string member anywhere in the reply, unescaped enough for ids and base64.
    static std::string StringField(const std::string& reply, const std::string& name) {
        const std::string key = "\"" + name + "\":\"";
        const size_t at = reply.find(key);
        if (at == std::string::npos) return {};
        const size_t start = at + key.size();
        const size_t end = reply.find('"', start);
        if (end == std::string::npos) return {};
        std::string value = reply.substr(start, end - start);
        std::string unescaped;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            unescaped += value[i];
        }
        return unescaped;
    }

    static std::string JsonEscape(const std::string& text) {
        std::string out;
        for (const char c : text) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += c;
                }
            }
        }
        return out;
    }

    static std::string Base64Decode(const std::string& text) {
        std::string out;
        unsigned bits = 0;
        int count = 0;
        for (const char c : text) {
            int v;
            if (c >= 'A' && c <= 'Z') v = c - 'A';
            else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
            else if (c >= '0' && c <= '9') v = c - '0' + 52;
            else if (c == '+') v = 62;
            else if (c == '/') v = 63;
            else continue;
            bits = (bits << 6) | static_cast<unsigned>(v);
            count += 6;
            if (count >= 8) {
                count -= 8;
                out += static_cast<char>((bits >> count) & 0xFF);
            }
        }
        return out;
    }

    TempDir profile_;
    int port_;
    pid_t pid_ = -1;
    std::string session_;
    bool ok_ = false;
    std::string lastError_;
};

}  // namespace tarnhollow::test
