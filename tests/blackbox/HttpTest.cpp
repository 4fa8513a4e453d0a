// The HTTP/1.0 file server through the real binary: exact bytes of answers, methods,
// conditional requests, segmented requests and many connections at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

const std::regex kDatePattern(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d GMT)");

class HttpServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir();
        root_->Write("a b.txt", "space");
        root_->Write("a+b.txt", "plus");
        root_->Write("notes.txt", "one\r\n\r\ntwo");
        root_->Write("photo.jpg", std::string("\xFF\xD8\xFF\xE0 jpeg", 9));
        root_->Write("empty.bin", "");
        root_->Write("styles.css", "the document root's own");
        root_->Write("folder/index.htm", "<html><body>index</body></html>");
        root_->Write("listed/file.dat", "d");
        std::string big;
        for (long long i = 0; big.size() < 5 * 1024 * 1024; ++i) big += std::to_string(i * 7919) + "\n";
        root_->Write("big.dat", big);
        // A fixed, old modification time for the conditional requests.
        timeval times[2] = {{784111777, 0}, {784111777, 0}};
        ::utimes((root_->Path() + "/photo.jpg").c_str(), times);
        ::utimes((root_->Path() + "/notes.txt").c_str(), times);
        server_ = new ServerProcess({.root = root_->Path()});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
    }
    static void TearDownTestSuite() {
        delete server_;
        delete root_;
    }
    static std::string Exchange(const std::string& request) { return RawExchange(server_->Port(), request); }

    static TempDir* root_;
    static ServerProcess* server_;
};
TempDir* HttpServer::root_ = nullptr;
ServerProcess* HttpServer::server_ = nullptr;

// Replaces each date in a response by <date>, so exact bytes can be compared.
std::string MaskDates(const std::string& raw) { return std::regex_replace(raw, kDatePattern, "<date>"); }

TEST_F(HttpServer, FileAnswerHasStatusServerDateFirstAndExactBody) {
    for (const char* ending : {"\r\n", "\n"}) {
        for (const char* version : {" HTTP/1.0", " HTTP/1.1", ""}) {
            SCOPED_TRACE(std::string(version) + (ending[0] == '\r' ? " CRLF" : " LF"));
            const std::string raw =
                Exchange(std::string("GET /photo.jpg") + version + ending + "Host: x" + ending + ending);
            EXPECT_EQ(MaskDates(raw),
                      std::string("HTTP/1.0 200 OK\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\n"
                                  "Content-Type: image/jpeg\r\nLast-Modified: <date>\r\nAccept-Ranges: bytes\r\n"
                                  "Content-Length: 9\r\n\r\n") +
                          std::string("\xFF\xD8\xFF\xE0 jpeg", 9));
            EXPECT_NE(raw.find("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"), std::string::npos);
        }
    }
}

TEST_F(HttpServer, ErrorAnswersAreExactlyStatusServerDateAndText) {
    struct Row {
        const char* description;
        std::string request;
        std::string status;
    };
    const Row rows[] = {
        {"missing file", "GET /missing HTTP/1.0\r\n\r\n", "404 Not Found"},
        {"leaving the root", "GET /../x HTTP/1.0\r\n\r\n", "400 Bad Request"},
        {"unknown method", "DELETE /notes.txt HTTP/1.0\r\n\r\n", "501 Not Implemented"},
        {"GET with a body", "GET /notes.txt HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", "501 Not Implemented"},
        {"HEAD with a body", "HEAD /notes.txt HTTP/1.0\r\nContent-Length: 1\r\n\r\nx", "501 Not Implemented"},
        {"POST without a body", "POST /notes.txt HTTP/1.0\r\n\r\n", "501 Not Implemented"},
        {"POST to a file", "POST /notes.txt HTTP/1.0\r\nContent-Length: 2\r\n\r\nab", "501 Not Implemented"},
        {"POST to a missing file", "POST /nope HTTP/1.0\r\nContent-Length: 2\r\n\r\nab", "404 Not Found"},
        {"empty request", "\r\n", "501 Not Implemented"},
        {"request line without spaces", "GARBAGE\r\n\r\n", "501 Not Implemented"},
        {"NUL in the path", std::string("GET /notes.txt%00.jpg HTTP/1.0\r\n\r\n"), "400 Bad Request"},
        {"header block too large", "GET / HTTP/1.0\r\nX: " + std::string(70000, 'a') + "\r\n\r\n",
         "400 Bad Request"},
        {"body too large", "POST /x HTTP/1.0\r\nContent-Length: 99999999\r\n\r\n", "400 Bad Request"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(MaskDates(Exchange(row.request)),
                  "HTTP/1.0 " + row.status + "\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\n\r\n" + row.status);
    }
}

TEST_F(HttpServer, RedirectsCarryPercentEncodedLocations) {
    struct Row {
        std::string request, statusAndLocation;
    };
    const Row rows[] = {
        {"GET /folder HTTP/1.0\r\n\r\n", "301 Moved Permanently\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\nLocation: /folder/"},
        {"GET /folder?x=1 HTTP/1.0\r\n\r\n", "301 Moved Permanently\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\nLocation: /folder/"},
        {"GET /folder/ HTTP/1.0\r\n\r\n", "302 Redirection\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\nLocation: /folder/index.htm"},
        {"POST /folder HTTP/1.0\r\nContent-Length: 1\r\n\r\nx", "301 Moved Permanently\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\nLocation: /folder/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request);
        EXPECT_EQ(MaskDates(Exchange(row.request)), "HTTP/1.0 " + row.statusAndLocation + "\r\n\r\n");
    }
}

TEST_F(HttpServer, PathIsDecodedWithoutPlusAsSpace) {
    EXPECT_EQ(Get(server_->Port(), "/a%20b.txt").statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(Get(server_->Port(), "/a+b.txt").statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(Get(server_->Port(), "/a%2Bb.txt").statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(ParseResponse(Exchange("get /a%20b.txt HTTP/1.0\r\n\r\n")).statusLine, "HTTP/1.0 200 OK");
}

TEST_F(HttpServer, ConditionalGetInEachDateLayout) {
    struct Row {
        const char* description;
        std::string date;
        const char* status;
    };
    const Row rows[] = {
        {"RFC 1123, same second", "Sun, 06 Nov 1994 08:49:37 GMT", "HTTP/1.0 304 Not Modified"},
        {"RFC 850, later", "Monday, 07-Nov-94 08:49:37 GMT", "HTTP/1.0 304 Not Modified"},
        {"asctime, later", "Sun Nov 13 08:49:37 1994", "HTTP/1.0 304 Not Modified"},
        {"a second earlier", "Sun, 06 Nov 1994 08:49:36 GMT", "HTTP/1.0 200 OK"},
        {"not a date", "yesterday", "HTTP/1.0 200 OK"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        const Response r = Get(server_->Port(), "/photo.jpg", "If-Modified-Since: " + row.date + "\r\n");
        EXPECT_EQ(r.statusLine, row.status);
        if (std::string(row.status).find("304") != std::string::npos) {
            EXPECT_EQ(MaskDates(r.raw),
                      "HTTP/1.0 304 Not Modified\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\n\r\n");
        }
    }
    // Text files are always answered in full.
    EXPECT_EQ(Get(server_->Port(), "/notes.txt", "If-Modified-Since: Sun, 06 Nov 2050 08:49:37 GMT\r\n").statusLine,
              "HTTP/1.0 200 OK");
}

TEST_F(HttpServer, ZeroLengthFileAndHeadRequests) {
    const Response empty = Get(server_->Port(), "/empty.bin");
    EXPECT_EQ(empty.Header("Content-Length"), "0");
    EXPECT_EQ(empty.body, "");

    EXPECT_EQ(MaskDates(Exchange("HEAD /photo.jpg HTTP/1.0\r\n\r\n")),
              "HTTP/1.0 200 OK\r\nServer: Tarnhollow/1.0\r\nDate: <date>\r\nContent-Type: image/jpeg\r\n\r\n");
    // A folder that would be listed gets no bytes at all.
    EXPECT_EQ(Exchange("HEAD /listed/ HTTP/1.0\r\n\r\n"), "");
    // HEAD looks in the document root, even for the built-in paths.
    EXPECT_EQ(ParseResponse(Exchange("HEAD /styles.css HTTP/1.0\r\n\r\n")).Header("Content-Type"), "text/css");
    EXPECT_EQ(ParseResponse(Exchange("HEAD /file.gif HTTP/1.0\r\n\r\n")).statusLine, "HTTP/1.0 404 Not Found");
}

TEST_F(HttpServer, BuiltinResourcesComeFromTheProgram) {
    const Response css = Get(server_->Port(), "/styles.css");
    EXPECT_EQ(css.statusLine, "HTTP/1.0 200 OK");
    EXPECT_NE(css.body, "the document root's own");
    EXPECT_EQ(css.Header("Content-Type"), "text/css");
    EXPECT_EQ(css.Header("Content-Length"), std::to_string(css.body.size()));
    EXPECT_TRUE(std::regex_match(css.Header("Expires"), kDatePattern));
    for (const char* gif : {"/file.gif", "/folder.gif", "/blue-ball-small.gif"}) {
        SCOPED_TRACE(gif);
        const Response r = Get(server_->Port(), gif);
        EXPECT_EQ(r.Header("Content-Type"), "image/gif");
        EXPECT_EQ(r.body.substr(0, 6), "GIF89a");
    }
    // Built-in paths are case-sensitive.
    EXPECT_EQ(Get(server_->Port(), "/Styles.css").statusLine, "HTTP/1.0 404 Not Found");
}

TEST_F(HttpServer, SegmentedRequestOverRealTcp) {
    const std::string raw = RawExchange(server_->Port(), {"GET /photo", ".jpg HTTP/1.0\r", "\n", "\r\n"}, 30);
    EXPECT_EQ(ParseResponse(raw).statusLine, "HTTP/1.0 200 OK");
}

TEST_F(HttpServer, LargeFileArrivesWhole) {
    const std::string big = root_->Read("big.dat");
    const Response r = Get(server_->Port(), "/big.dat");
    EXPECT_TRUE(r.body == big) << r.body.size() << " bytes";
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));
    // A large range starts with its first bytes beside the head, read from where it begins.
    const Response part = Get(server_->Port(), "/big.dat", "Range: bytes=12345-3000000\r\n");
    EXPECT_EQ(part.statusLine, "HTTP/1.0 206 Partial Content");
    EXPECT_TRUE(part.body == big.substr(12345, 3000000 - 12345 + 1)) << part.body.size() << " bytes";
}

TEST_F(HttpServer, ManyConnectionsAtOnceAreAllAnswered) {
    constexpr int kClients = 64;
    std::vector<std::thread> clients;
    std::vector<std::string> bodies(kClients);
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] { bodies[i] = Get(server_->Port(), i % 2 ? "/photo.jpg" : "/big.dat").body; });
    }
    for (auto& t : clients) t.join();
    const std::string big = root_->Read("big.dat");
    for (int i = 0; i < kClients; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bodies[i].size(), i % 2 ? 9u : big.size());
    }
}

}  // namespace
}  // namespace tarnhollow::test

namespace tarnhollow::test {
namespace {

// Opens a connection that has sent part of a request, so the server holds it open.
int OpenIdleConnection(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    ::send(fd, "GET /", 5, MSG_NOSIGNAL);
    return fd;
}

TEST(HttpLimits, RunningOutOfDescriptorsPausesAcceptingAndServingResumes) {
    TempDir root;
    root.Write("a.txt", "resumed");
    ServerProcess server({.root = root.Path(), .maxOpenFiles = 40});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    std::vector<int> idle;
    for (int i = 0; i < 60; ++i) {
        int fd = OpenIdleConnection(server.Port());
        if (fd >= 0) idle.push_back(fd);
    }
    // Queued behind the exhausted descriptors (connected means it is in the backlog),
    // this request is answered once they free.
    const int waiting = Connect(server.Port());
    ASSERT_GE(waiting, 0);
    const std::string request = "GET /a.txt HTTP/1.0\r\n\r\n";
    ASSERT_EQ(::send(waiting, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    for (int fd : idle) ::close(fd);
    std::string answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(waiting, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
    ::close(waiting);
    EXPECT_EQ(ParseResponse(answer).statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(Get(server.Port(), "/a.txt").statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace tarnhollow::test
