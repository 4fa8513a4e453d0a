// A fake dynamic DNS update host on 127.0.0.1 for the tests: it records each request's
// target, credentials and user agent, and answers as the test says, or resets the
// connection in the middle of its answer. kRightAccount is the user "me" with the
// password "right" on the wire.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnhollow::test {

inline constexpr char kRightAccount[] = "Basic bWU6cmlnaHQ=";

class FakeUpdateServer {
public:
    struct Request { std::string target, authorization, userAgent; };  // authorization as sent: "Basic ..."
    struct Answer { int code = 200; std::string body; bool resetMidAnswer = false; };
    using Answering = std::function<Answer(const Request& request)>;

    explicit FakeUpdateServer(Answering answering) : answering_(std::move(answering)) {
        sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}};
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 16);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeUpdateServer() { ::shutdown(listener_, SHUT_RDWR); thread_.join(); ::close(listener_); }

    // The value for DNS_UpdateHost.
    std::string Host() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<Request> Requests() { std::lock_guard<std::mutex> hold(lock_); return requests_; }
    size_t Count() { return Requests().size(); }
    // Waits (up to a minute) until `count` requests have come.
    bool WaitForCount(size_t count) {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::minutes(1), [&] { return requests_.size() >= count; });
    }

private:
    static std::string HeaderValue(const std::string& head, const std::string& name) {
        const size_t at = head.find("\r\n" + name + ": "), start = at + name.size() + 4;
        return at == std::string::npos ? std::string() : head.substr(start, head.find("\r\n", start) - start);
    }

    void Serve() {
        for (int client; (client = ::accept(listener_, nullptr, nullptr)) >= 0; ::close(client)) {
            std::string head;
            char buffer[4096];
            for (ssize_t got = 1; got > 0 && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536;) {
                if ((got = ::recv(client, buffer, sizeof buffer, 0)) > 0) head.append(buffer, static_cast<size_t>(got));
            }
            const size_t space = head.find(' ');
            const Request request{head.substr(space + 1, head.find(' ', space + 1) - space - 1),
                                  HeaderValue(head, "Authorization"), HeaderValue(head, "User-Agent")};
            const Answer answer = answering_(request);
            { std::lock_guard<std::mutex> hold(lock_); requests_.push_back(request); }
            changed_.notify_all();
            const std::string reply =
                answer.resetMidAnswer
                    ? "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\ngo"
                    : "HTTP/1.0 " + std::to_string(answer.code) + " Answer\r\nContent-Length: " +
                          std::to_string(answer.body.size()) + "\r\nConnection: close\r\n\r\n" + answer.body;
            ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            // Closing with a zero linger time resets the connection.
            const linger reset{1, 0};
            if (answer.resetMidAnswer) ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
    }

    Answering answering_;
    int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int port_ = 0;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Request> requests_;
    std::thread thread_;
};

}  // namespace tarnhollow::test
