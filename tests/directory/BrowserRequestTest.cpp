// Where a browser's request ends and what its way is chosen by, at the size limit and
// past it.
#include <gtest/gtest.h>

#include "directory/BrowserRequest.h"
#include "directory/DirectoryLimits.h"

namespace tarnhollow::directory {
namespace {

using State = BrowserRequest::State;

TEST(BrowserRequestTest, RequestsEndWhereTheirHeadAndBodySay) {
    struct Case {
        const char* what;
        std::string bytes;
        State state;
        size_t size;
        std::string path, query, host;
    };
    const Case cases[] = {
        {"a GET", "GET /a?b=c HTTP/1.0\r\nHost:  abc.net \r\n\r\n", State::Complete, 40, "/a", "b=c", "abc.net"},
        {"bare line ends", "GET / HTTP/1.0\nhost: x\n\n", State::Complete, 24, "/", "", "x"},
        {"a body", "POST /p HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", State::Complete, 42, "/p", "", ""},
        {"a body still coming", "POST /p HTTP/1.0\r\nContent-Length: 3\r\n\r\nab", State::Incomplete, 42, "/p", "", ""},
        {"bytes after the request", "GET / HTTP/1.0\r\n\r\nextra", State::Complete, 18, "/", "", ""},
        {"a head still coming", "GET / HTTP/1.0\r\nHost: a", State::Incomplete, 0, "", "", ""},
        {"no target", "GET\r\n\r\n", State::Malformed, 0, "", "", ""},
        {"a bad length", "POST / HTTP/1.0\r\nContent-Length: -1\r\n\r\n", State::Malformed, 0, "/", "", ""},
        {"two lengths", "POST / HTTP/1.0\r\nContent-Length: 1\r\nContent-length: 2\r\n\r\n", State::Malformed, 0,
         "/", "", ""},
        {"a length past the limit", "POST / HTTP/1.0\r\nContent-Length: 99999999\r\n\r\n", State::TooLarge,
         99999999 + 45, "/", "", ""},
    };
    for (const Case& c : cases) {
        const BrowserRequest request = ParseBrowserRequest(c.bytes, kMaxRequestBytes);
        EXPECT_EQ(request.state, c.state) << c.what;
        if (c.state == State::Malformed) continue;
        EXPECT_EQ(request.size, c.size) << c.what;
        EXPECT_EQ(request.path, c.path) << c.what;
        EXPECT_EQ(request.query, c.query) << c.what;
        EXPECT_EQ(request.host, c.host) << c.what;
    }
}

TEST(BrowserRequestTest, ARequestFillingTheLimitIsTakenAndOneByteMoreIsNot) {
    const std::string head = "POST / HTTP/1.0\r\nContent-Length: ";
    const auto request = [&](size_t total) {
        const size_t body = total - head.size() - 9;  // five digits and two line ends
        return head + std::to_string(body) + "\r\n\r\n" + std::string(body, 'x');
    };
    EXPECT_EQ(ParseBrowserRequest(request(kMaxRequestBytes), kMaxRequestBytes).state, State::Complete);
    EXPECT_EQ(ParseBrowserRequest(request(kMaxRequestBytes + 1), kMaxRequestBytes).state, State::TooLarge);
    EXPECT_EQ(ParseBrowserRequest(std::string(kMaxRequestBytes, 'x'), kMaxRequestBytes).state, State::TooLarge);
    EXPECT_EQ(ParseBrowserRequest(std::string(kMaxRequestBytes - 1, 'x'), kMaxRequestBytes).state,
              State::Incomplete);
}

}  // namespace
}  // namespace tarnhollow::directory
