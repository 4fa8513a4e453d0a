// The connection logic through an in-memory transport: how received bytes become a
// request, the limits on what a peer may send, and the send and close paths.
#include "http/ConnectionSocket.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <asio.hpp>
#include <deque>
#include <fstream>

#include "http/Limits.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// Feeds scripted segments and records what the connection sends. The connection
// deletes itself through the deleter, which the test observes.
class FakeTransport : public Transport {
public:
    void Attach(TransportEvents* events) override { events_ = events; }
    long Receive(char* buffer, size_t size) override {
        if (segments_.empty()) return 0;
        std::string& front = segments_.front();
        size_t n = std::min(size, front.size());
        std::copy(front.begin(), front.begin() + static_cast<long>(n), buffer);
        front.erase(0, n);
        if (front.empty()) segments_.pop_front();
        return static_cast<long>(n);
    }
    long Send(const char* bytes, size_t size) override {
        if (blocked) return kWouldBlock;
        offered.push_back(size);
        size_t n = std::min(size, sendLimit);
        sent.append(bytes, n);
        return static_cast<long>(n);
    }
    // Like sendfile: straight from the file at `offset`, when the test allows it.
    long SendFile(int fd, long long& offset, size_t count) override {
        if (!canSendFile) return kUnsupported;
        if (blocked) return kWouldBlock;
        std::string chunk(std::min(count, sendLimit), '\0');
        const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(offset));
        if (n < 0) return kFailed;
        sent.append(chunk.data(), static_cast<size_t>(n));
        offset += n;
        return static_cast<long>(n);
    }
    void WantRead() override { wantsRead = true; }
    void WantWrite() override { wantsWrite = true; }
    void ShutDown() override { shutDown = true; }
    void EndSending() override { endedSending = true; }
    std::wstring PeerAddress() const override { return L"127.0.0.1"; }

    // Delivers one segment as one receive notification.
    void Deliver(const std::string& segment) {
        segments_.push_back(segment);
        events_->OnReceive();
    }

    std::string sent;
    // Sizes the connection asked to send, in order.
    std::vector<size_t> offered;
    size_t sendLimit = SIZE_MAX;
    // The peer reads nothing: every send would block.
    bool blocked = false;
    bool canSendFile = false;
    bool wantsRead = false;
    bool wantsWrite = false;
    bool shutDown = false;
    bool endedSending = false;
    TransportEvents* events_ = nullptr;

private:
    std::deque<std::string> segments_;
};

struct Harness {
    explicit Harness(RequestDeadlines* deadlines = nullptr, RequestDeadlines* lingerDeadlines = nullptr) {
        context.documentRoot = AnsiToWide(root.Path());
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        connection = new CConnectionSocket(&context, std::move(owned), [this](CConnectionSocket* c) {
            // The transport goes with the connection: keep what it recorded.
            sent = transport->sent;
            offered = transport->offered;
            shutDown = transport->shutDown;
            deleted = true;
            delete c;
        }, deadlines, lingerDeadlines);
        connection->Start();
    }
    ~Harness() {
        if (!deleted) delete connection;
    }
    void Send(const std::string& segment) { transport->Deliver(segment); }
    // Lets the connection send until it stops asking for write events; the transport
    // goes with the connection, so it is not touched once that has deleted itself.
    std::string Finish() {
        for (int i = 0; i < 100000 && !deleted && transport->wantsWrite; ++i) {
            transport->wantsWrite = false;
            transport->events_->OnSend();
        }
        return deleted ? sent : transport->sent;
    }

    TempDir root;
    ServerContext context;
    FakeTransport* transport = nullptr;
    CConnectionSocket* connection = nullptr;
    std::string sent;
    std::vector<size_t> offered;
    bool shutDown = false;
    bool deleted = false;
};

TEST(ConnectionSocket, RequestsSplitAcrossSegmentsAreAssembled) {
    struct Row {
        const char* description;
        std::vector<std::string> segments;
    };
    const Row rows[] = {
        {"one segment", {"GET /a.txt HTTP/1.0\r\n\r\n"}},
        {"CR and LF in different segments", {"GET /a.txt HTTP/1.0\r", "\n\r", "\n"}},
        {"byte by byte", {"G", "E", "T", " ", "/", "a", ".", "t", "x", "t", "\r", "\n", "\r", "\n"}},
        {"bare line feeds", {"GET /a.txt HTTP/1.0\n\n"}},
        {"header split in the name", {"GET /a.txt HTTP/1.0\r\nUser-Ag", "ent: x\r\n\r\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        Harness h;
        h.root.Write("a.txt", "hello");
        for (const std::string& s : row.segments) h.Send(s);
        const std::string out = h.Finish();
        EXPECT_EQ(out.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << out;
        EXPECT_TRUE(h.deleted);
        EXPECT_TRUE(h.shutDown);
    }
}

TEST(ConnectionSocket, BodyOfContentLengthInTwoSegmentsCompletesAndSurplusIsDiscarded) {
    Harness h;
    h.Send("POST /x HTTP/1.0\r\nContent-Length: 10\r\n\r\n");
    EXPECT_EQ(h.connection->State(), ReadState::Body);
    h.Send("123456");
    EXPECT_EQ(h.connection->State(), ReadState::Body);
    h.Send("78901234");
    EXPECT_EQ(h.connection->State(), ReadState::Complete);
    // POST to a missing file: the mapping answers 404.
    EXPECT_EQ(h.Finish().rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u);
}

TEST(ConnectionSocket, EmptyFirstLineIsARequestWithoutMethodAnswered501) {
    Harness h;
    h.Send("\r\n");
    const std::string out = h.Finish();
    EXPECT_EQ(out.rfind("HTTP/1.0 501 Not Implemented\r\n", 0), 0u) << out;
    EXPECT_EQ(out.substr(out.size() - 19), "501 Not Implemented");
}

TEST(ConnectionSocket, NegativeContentLengthCountsAsZero) {
    Harness h;
    h.root.Write("a.txt", "x");
    h.Send("GET /a.txt HTTP/1.0\r\nContent-Length: -5\r\n\r\n");
    EXPECT_EQ(h.connection->State(), ReadState::Complete);
    EXPECT_EQ(h.Finish().rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
}

TEST(ConnectionSocket, HeadAtTheLimitIsServedAndOneByteMoreIsRefused) {
    for (size_t extra : {size_t{0}, size_t{1}}) {
        SCOPED_TRACE(extra);
        Harness h;
        h.root.Write("a.txt", "x");
        const std::string start = "GET /a.txt HTTP/1.0\r\nX: ";
        const std::string end = "\r\n\r\n";
        const std::string filler(limits::kMaxHeaderBytes - start.size() - end.size() + extra, 'a');
        const std::string request = start + filler + end;
        for (size_t i = 0; i < request.size(); i += limits::kIoBufferSize) {
            h.Send(request.substr(i, limits::kIoBufferSize));
        }
        const std::string out = h.Finish();
        EXPECT_EQ(out.rfind(extra ? "HTTP/1.0 400 Bad Request\r\n" : "HTTP/1.0 200 OK\r\n", 0), 0u) << out.substr(0, 40);
    }
}

TEST(ConnectionSocket, BodyAtTheLimitIsAcceptedAndOneByteMoreIsRefused) {
    for (long long length : {limits::kMaxBodyBytes, limits::kMaxBodyBytes + 1}) {
        SCOPED_TRACE(length);
        Harness h;
        h.Send("POST /missing HTTP/1.0\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n");
        if (length > limits::kMaxBodyBytes) {
            EXPECT_EQ(h.Finish().rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u);
            continue;
        }
        const std::string chunk(limits::kIoBufferSize, 'b');
        for (long long sent = 0; sent < length; sent += static_cast<long long>(chunk.size())) h.Send(chunk);
        EXPECT_EQ(h.Finish().rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u);
    }
}

TEST(ConnectionSocket, HighBytesInHeadersAreWidenedBySignExtension) {
    Harness h;
    h.root.Write("a.txt", "x");
    // The header value reaches the map as U+FFE9; nothing may break on it.
    h.Send("GET /a.txt HTTP/1.0\r\nX-Name: caf\xE9\r\n\r\n");
    EXPECT_EQ(h.Finish().rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
}

TEST(ConnectionSocket, LargeFileIsStreamedWholeThroughPartialSends) {
    for (bool sendFile : {false, true}) {
        SCOPED_TRACE(sendFile ? "straight from the file" : "read into the buffer");
        Harness h;
        std::string content;
        for (int i = 0; content.size() < 200000; ++i) content += std::to_string(i) + ",";
        h.root.Write("big.bin", content);
        h.transport->sendLimit = 7000;  // every send takes only part of the buffer
        h.transport->canSendFile = sendFile;
        h.Send("GET /big.bin HTTP/1.0\r\n\r\n");
        const std::string out = h.Finish();
        ASSERT_TRUE(h.deleted);
        const size_t bodyStart = out.find("\r\n\r\n") + 4;
        EXPECT_EQ(out.substr(bodyStart), content);
        EXPECT_NE(out.find("Content-Length: " + std::to_string(content.size()) + "\r\n"), std::string::npos);
    }
}

TEST(ConnectionSocket, PeerClosingWhileAFileIsSentDeletesTheConnection) {
    Harness h;
    h.root.Write("big.bin", std::string(100000, 'z'));
    h.transport->sendLimit = 1000;
    h.Send("GET /big.bin HTTP/1.0\r\n\r\n");
    h.transport->events_->OnSend();
    h.transport->events_->OnClose();
    EXPECT_TRUE(h.deleted);
    EXPECT_FALSE(h.shutDown);
}

TEST(ConnectionSocket, IncompleteRequestIsClosedWithoutAnswerAtItsDeadline) {
    asio::io_context io;
    RequestDeadlines deadlines(io, std::chrono::milliseconds(20));
    Harness slow(&deadlines);
    Harness quick(&deadlines);
    quick.root.Write("a.txt", "x");
    slow.Send("GET /a.txt HTTP/1.0\r\n");
    quick.Send("GET /a.txt HTTP/1.0\r\n\r\n");
    quick.Finish();
    EXPECT_EQ(deadlines.Count(), 1u);
    io.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(slow.deleted);
    EXPECT_EQ(slow.sent, "");
    EXPECT_EQ(deadlines.Count(), 0u);
}

TEST(ConnectionSocket, AnAnswerThatMakesNoProgressIsClosedAtItsDeadline) {
    asio::io_context io;
    RequestDeadlines deadlines(io, std::chrono::milliseconds(20));
    Harness h(&deadlines);
    h.root.Write("big.bin", std::string(100000, 'z'));
    h.Send("GET /big.bin HTTP/1.0\r\n\r\n");
    h.transport->blocked = true;
    h.transport->events_->OnSend();
    io.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(h.deleted);
}

TEST(ConnectionSocket, ARefusedRequestEndsItsSideAndWaitsForThePeersEndBeforeClosing) {
    asio::io_context io;
    RequestDeadlines lingering(io, std::chrono::milliseconds(20));
    Harness h(nullptr, &lingering);
    h.Send("GET /a.txt HTTP/1.0\r\nX: " + std::string(limits::kIoBufferSize, 'x'));
    for (int i = 0; i < 5; ++i) h.Send(std::string(limits::kIoBufferSize, 'x'));
    const std::string out = h.Finish();
    EXPECT_EQ(out.rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u);
    // Closing now would reset the connection under the answer: the rest of the header
    // is still on its way.
    EXPECT_TRUE(h.transport->endedSending);
    EXPECT_FALSE(h.deleted);
    h.Send(std::string(1000, 'x'));
    EXPECT_FALSE(h.deleted);
    h.transport->events_->OnClose();
    EXPECT_TRUE(h.deleted);
}

TEST(ConnectionSocket, AFileThatGrowsWhileSentStopsAtTheAnnouncedLength) {
    for (bool sendFile : {false, true}) {
        SCOPED_TRACE(sendFile ? "straight from the file" : "read into the buffer");
        Harness h;
        h.transport->canSendFile = sendFile;
        const std::string path = h.root.Write("log.bin", std::string(20000, 'a'));
        h.Send("GET /log.bin HTTP/1.0\r\n\r\n");
        {
            std::ofstream more(path, std::ios::app);
            more << std::string(10000, 'b');
        }
        const std::string out = h.Finish();
        EXPECT_EQ(out.substr(out.find("\r\n\r\n") + 4), std::string(20000, 'a'));
    }
}

TEST(ConnectionSocket, EveryReadFromTheFileFillsTheWholeBuffer) {
    Harness h;
    const size_t size = 200000;
    h.root.Write("big.bin", std::string(size, 'z'));
    h.transport->sendLimit = 1000;
    h.Send("GET /big.bin HTTP/1.0\r\n\r\n");
    h.Finish();
    // A new chunk is offered whenever the offered size grows again.
    size_t chunks = 1;
    ASSERT_TRUE(h.deleted);
    for (size_t i = 1; i < h.offered.size(); ++i) chunks += h.offered[i] > h.offered[i - 1];
    EXPECT_LE(chunks, size / limits::kIoBufferSize + 2);
}

}  // namespace
}  // namespace tarnhollow::test
