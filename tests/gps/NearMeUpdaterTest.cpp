// The NearMe update: the URL from its template (conversions in order, the name
// percent-encoded, other "%" sequences kept), no request without a public name, the
// request a loopback endpoint receives, a stop during an unanswered update, and
// templates naming other kinds of resource.
#include "gps/NearMeUpdater.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>

#include "gps/FakeReceivers.h"

namespace tarnhollow::test {
namespace {

TEST(NearMeUpdater, Urls) {
    struct Case { const char* description; std::wstring urlTemplate, server; double longitude; std::string url; };
    const Case cases[] = {
        {"the default template", kDefaultNearMeUrl, L"my.host", 11.51666667,
         "http://nearme.example.net/nearme/update.php?server=my.host&time=123519&lon=11.516667&lat=48.117300&port=80"},
        {"a name that would break the query", L"h?s=%s", L"a&b c#%", -0.5, "h?s=a%26b%20c%23%25"},
        {"conversions in order, others kept", L"%%%q%n%d%s%f%f%d%d", L"x", -0.5, "%%q%nx123519-0.50000048.11730080%d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(FormatNearMeUrl(c.urlTemplate, c.server, 123519, c.longitude, 48.1173, 80), c.url);
    }
}

TEST(NearMeUpdater, SendsOnlyOverHttpWithAPublicNameAndThenCarriesItAndPort80) {
    LoopbackListener endpoint;
    NearMeUpdater updater(L"http://127.0.0.1:" + std::to_wstring(endpoint.port) +
                          L"/nearme/update.php?server=%s&time=%d&lon=%f&lat=%f&port=%d");
    EXPECT_FALSE(updater.Send(123519, 11.51666667, 48.1173));
    pollfd polled{endpoint.fd, POLLIN, 0};
    EXPECT_EQ(::poll(&polled, 1, 0), 0) << "a connection came without a public name";
    NearMeUpdater otherKind(L"file:///etc/hostname?%s");  // names another kind of resource
    otherKind.SetPublicName(L"my.host");
    EXPECT_FALSE(otherKind.Send(1, 2, 3));

    updater.SetPublicName(L"my.host");
    auto sent = std::async(std::launch::async, [&] { return updater.Send(123519, 11.51666667, 48.1173); });
    const int client = endpoint.Accept();
    std::string head(4096, '\0');
    head.resize(std::max<ssize_t>(0, ::read(client, head.data(), head.size())));
    ::send(client, "HTTP/1.0 200 OK\r\n\r\n", 19, MSG_NOSIGNAL);
    ::close(client);
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(head.substr(0, head.find("\r\n")),
              "GET /nearme/update.php?server=my.host&time=123519&lon=11.516667&lat=48.117300&port=80 HTTP/1.1");
}

TEST(NearMeUpdater, AStopCutsShortAnUpdateThatWouldWaitAnHour) {
    // The connection lands in the listener's backlog and is never answered.
    LoopbackListener endpoint;
    NearMeUpdater updater(L"http://127.0.0.1:" + std::to_wstring(endpoint.port) + L"/?%s", {3600000, 3600000});
    updater.SetPublicName(L"my.host");
    EXPECT_FALSE(updater.Send(1, 2, 3, [&endpoint] {
        pollfd polled{endpoint.fd, POLLIN, 0};
        return ::poll(&polled, 1, 0) > 0;
    }));
}

}  // namespace
}  // namespace tarnhollow::test
