// What the directory host reads: its command line, where a browser's request ends (at the
// size limit and past it), the device name its Host header selects, and the NearMe
// parameters at and past their bounds.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "directory/BrowserRequest.h"
#include "directory/DirectoryLimits.h"
#include "directory/DirectoryOptions.h"
#include "directory/HostNames.h"
#include "directory/NearMeQuery.h"

namespace tarnhollow::directory {
namespace {

using State = BrowserRequest::State;

DirectoryOptions Parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "tarnhollow-directory");
    return ParseDirectoryOptions(static_cast<int>(arguments.size()), arguments.data());
}

TEST(DirectoryOptionsTest, ValuesAndMistakes) {
    const DirectoryOptions d = Parse({});
    EXPECT_EQ(std::tie(d.udpPort, d.httpPort, d.bind, d.periodMilliseconds),
              std::make_tuple(1212, 8080, "0.0.0.0", 20000));
    const DirectoryOptions s =
        Parse({"--udp-port", "0", "--http-port", "65535", "--bind", "::1", "--db", "x.db", "--period", "100"});
    EXPECT_EQ(std::tie(s.error, s.udpPort, s.httpPort, s.bind, s.database, s.periodMilliseconds),
              std::make_tuple("", 0, 65535, "::1", "x.db", 100));
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
    const std::vector<std::vector<const char*>> wrong = {
        {"--udp-port", "65536"}, {"--http-port", "-1"}, {"--http-port"},  {"--bind", "example.net"},
        {"--db", ""},            {"--period", "9"},     {"--verbose"},    {"--udp-port", "12a"},
    };
    for (const auto& arguments : wrong) EXPECT_NE(Parse(arguments).error, "") << arguments[0];
}

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
        EXPECT_EQ(std::tie(request.size, request.path, request.query, request.host),
                  std::tie(c.size, c.path, c.query, c.host)) << c.what;
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

TEST(HostNamesTest, DnsNamesAndHostHeaders) {
    // Three labels of 63 bytes: with a fourth of 61 the name is 253 bytes long.
    const std::string kLabels = std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + ".";
    const std::string a63 = std::string(63, 'a') + ".net", d253 = kLabels + std::string(61, 'd');
    const std::pair<std::string, std::string> cases[] = {  // host, device (empty: selects none)
        {"abc.homeip.net", "abc.homeip.net"}, {"ABC.HomeIP.net:8080", "abc.homeip.net"},
        {"abc.homeip.net.", "abc.homeip.net"}, {"localhost", "localhost"}, {"a-b.c1", "a-b.c1"},
        {"", ""}, {":80", ""}, {"abc.homeip.net:80x", ""}, {"-abc.net", ""}, {"abc-.net", ""}, {"a..b", ""},
        {".a", ""}, {"[::1]:80", ""}, {"a b.net", ""}, {a63, a63}, {std::string(64, 'a') + ".net", ""},
        {d253, d253}, {kLabels + std::string(62, 'd'), ""},
    };
    for (const auto& [host, device] : cases) EXPECT_EQ(DeviceNameOfHost(host), device) << host;
}

TEST(NearMeTest, UpdateAndRequestParametersAreCheckedOneByOne) {
    const std::string good = "server=Abc.example.net&time=123519&lon=11.516667&lat=48.117300&port=80";
    const std::string a = "server=a.net&time=1&", rest = "&lon=1&lat=1&port=80";
    struct Case {
        bool update;  // false: a request
        std::string query;
        std::string problem;  // empty: accepted
    };
    const Case cases[] = {
        {true, good, ""}, {true, good + "&extra=1&x", ""}, {true, "server=a.net&time=0&lon=-180&lat=-90&port=1", ""},
        {true, "server=a.net&time=235959&lon=180.0&lat=90&port=65535", ""},
        {true, "server=a%2Enet&time=5019&lon=0&lat=0&port=80", ""}, {true, "time=123519" + rest, "server"},
        {true, "server=a.net&server=b.net&time=1" + rest, "server"}, {true, "server=a_b.net&time=1" + rest, "server"},
        {true, "server=a.net%00&time=1" + rest, "server"}, {true, "server=a.net&time=236000" + rest, "time"},
        {true, "server=a.net&time=126000" + rest, "time"}, {true, "server=a.net&time=-1" + rest, "time"},
        {true, a + "lon=180.01&lat=1&port=80", "lon"}, {true, a + "lon=1e2&lat=1&port=80", "lon"},
        {true, a + "lon=nan&lat=1&port=80", "lon"}, {true, a + "lon=1.&lat=1&port=80", "lon"},
        {true, a + "lon=1&lat=-90.5&port=80", "lat"}, {true, a + "lon=1&lat=1&port=0", "port"},
        {true, a + "lon=1&lat=1&port=65536", "port"}, {true, a + "lon=1&lat=1&port=%zz", "port"},
        {false, "time=3600&max=20&prec=1&lon=11.51666667&lat=48.1173", ""},
        {false, "time=604800&max=1000&prec=8&lon=0&lat=0", ""},
        {false, "time=604801&max=20&prec=1&lon=0&lat=0", "time"}, {false, "time=0&max=20&prec=1&lon=0&lat=0", "time"},
        {false, "time=1&max=1001&prec=1&lon=0&lat=0", "max"}, {false, "time=1&max=1&prec=9&lon=0&lat=0", "prec"},
        {false, "time=1&max=1&prec=1&lat=0", "lon"},
    };
    for (const Case& c : cases) {
        std::string problem;
        const bool parsed = c.update ? ParseNearMeUpdate(c.query, problem).has_value()
                                     : ParseNearMeRequest(c.query, problem).has_value();
        EXPECT_EQ(parsed, c.problem.empty()) << c.query;
        EXPECT_EQ(parsed ? "" : problem, c.problem) << c.query;
    }
    std::string problem;
    const auto update = ParseNearMeUpdate(good, problem);
    ASSERT_TRUE(update);
    EXPECT_EQ(update->server, "abc.example.net");
    EXPECT_EQ(update->time, 123519);
    EXPECT_DOUBLE_EQ(update->latitude, 48.1173);
}

}  // namespace
}  // namespace tarnhollow::directory
