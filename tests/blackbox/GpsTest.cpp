// The GPS pages through the real binary with a pseudo-terminal receiver or a fake gpsd:
// the fix on the position pages, the track, Expires while reading and while searching,
// paths that are not GPS pages, and the track carried across a restart.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gps/FakeReceivers.h"
#include "http/HttpDate.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

const std::string kTrackRow = "[\"12:35:19 UTC\", \"11.51666667\", \"48.1173\"]";

class GpsServer : public ::testing::Test {
protected:
    // Starts the binary reading NMEA from `portTemplate`, with its state in the test's
    // own folder so that it outlives each run.
    void Start(const std::string& portTemplate) {
        const std::string settings = scratch_.Write(
            "settings.toml", "NMEAPortTemplate = '" + portTemplate + "'\nGoogleApiKey = 'test-key'\n");
        server_ = std::make_unique<ServerProcess>(ServerProcess::Options{
            .root = root_.Path(), .settings = settings, .environment = {"XDG_STATE_HOME=" + scratch_.Path()}});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
    }
    Response Fetch(const std::string& path) { return Get(server_->Port(), path); }
    // Fetches `path` until its body holds `text`.
    Response FetchUntil(const std::string& path, const std::string& text) {
        Response page;
        WaitUntil([&] { return (page = Fetch(path)).body.find(text) != std::string::npos; });
        return page;
    }
    static long long Lifetime(const Response& page) {
        const auto date = ParseHttpDate(AnsiToWide(page.Header("Date")));
        const auto expires = ParseHttpDate(AnsiToWide(page.Header("Expires")));
        return date && expires ? *expires - *date : -1;
    }

    TempDir root_;
    TempDir scratch_;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(GpsServer, AReceiversFixShowsOnThePagesAndItsTrackSurvivesARestart) {
    PtyReceiver receiver;
    Start(receiver.Name());
    ASSERT_TRUE(receiver.Send(Sentence(kExampleBody)));
    const Response findMe = FetchUntil("/FindMe/index.html", "<td>12:35:19 UTC</td>");
    EXPECT_NE(findMe.body.find("<td>11.51666667</td>"), std::string::npos) << findMe.body;
    EXPECT_NE(findMe.body.find("<td>48.1173</td>"), std::string::npos);
    EXPECT_NE(findMe.body.find("<td>GPS on " + receiver.Name() + "</td>"), std::string::npos);
    // Reading a receiver, the reader wakes every 15 seconds.
    const long long lifetime = Lifetime(findMe);
    EXPECT_TRUE(lifetime == 15 || lifetime == 16) << lifetime;
    EXPECT_NE(Fetch("/NearMe/index.html").body.find("\"11.51666667\""), std::string::npos);
    EXPECT_NE(Fetch("/TraceMe/GoogleMap.html").body.find(kTrackRow), std::string::npos);

    EXPECT_EQ(server_->Stop(), 0);
    EXPECT_NE(scratch_.Read("tarnhollow/gpsfix.log").find(std::string("1\0002\000:\0003\0005\000", 10)),
              std::string::npos);
    Start("/nonexistent/tty%d");
    EXPECT_NE(Fetch("/TraceMe/GoogleMap.html").body.find(kTrackRow), std::string::npos);
}

TEST_F(GpsServer, GpsdDeliversTheFix) {
    LoopbackListener gpsd;
    Start("gpsd://127.0.0.1:" + std::to_string(gpsd.port));
    // Plays gpsd for the reader's first connection, which stays open to the end.
    const int client = gpsd.Accept();
    ASSERT_GE(client, 0);
    std::string command;
    for (char c = 0; c != '\n' && ::read(client, &c, 1) == 1;) command += c;
    EXPECT_EQ(command, "?WATCH={\"enable\":true,\"nmea\":true}\n");
    const std::string answer = "{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n" + Sentence(kExampleBody);
    ASSERT_EQ(::send(client, answer.data(), answer.size(), MSG_NOSIGNAL), static_cast<ssize_t>(answer.size()));
    const Response findMe = FetchUntil("/FindMe/index.html", "<td>12:35:19 UTC</td>");
    EXPECT_NE(findMe.body.find("<td>48.1173</td>"), std::string::npos) << findMe.body;
    EXPECT_NE(Fetch("/TraceMe/GoogleMap.html").body.find(kTrackRow), std::string::npos);
    ::close(client);
}

TEST_F(GpsServer, WhileSearchingThePagesShowTheSearchAndExpireInASecond) {
    Start(scratch_.Path() + "/tty%d");
    const Response findMe = FetchUntil("/FindMe/index.html", "  not found. Searching...");
    EXPECT_NE(findMe.body.find("<td>GPS on " + scratch_.Path() + "/tty"), std::string::npos) << findMe.body;
    EXPECT_NE(findMe.body.find("<td></td>"), std::string::npos);
    const long long lifetime = Lifetime(findMe);
    EXPECT_TRUE(lifetime == 1 || lifetime == 2) << lifetime;
    // An empty track leaves no row, and the page says so itself.
    const Response traceMe = Fetch("/TraceMe/GoogleMap.html");
    EXPECT_EQ(traceMe.body.find("<gpstime>"), std::string::npos);
    EXPECT_EQ(traceMe.body.find("\"\", \"\", \"\""), std::string::npos);
    EXPECT_NE(traceMe.body.find("No GPS coordinates available so far"), std::string::npos);
}

TEST_F(GpsServer, OtherPathsAreNoGpsPages) {
    Start(scratch_.Path() + "/tty%d");
    for (const std::string folder : {"traceme", "TraceMeX", "Trace", "findme"}) {
        SCOPED_TRACE(folder);
        root_.Write(folder + "/page.html", "<html><body><gpshardware>as written</gpshardware></body></html>");
        const Response page = Fetch("/" + folder + "/page.html");
        EXPECT_NE(page.body.find("<gpshardware>as written</gpshardware>"), std::string::npos) << page.raw;
        EXPECT_FALSE(page.HasHeader("Expires"));
    }
}

}  // namespace
}  // namespace tarnhollow::test
