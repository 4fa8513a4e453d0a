// Folder passwords in memory: which .pass protects a path, the answers that need no
// password check (401 challenge, 403 for an unreadable .pass, 403 for a service of
// this machine asked by another), and the count of failed logins.
#include "http/AccessGuard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <asio.hpp>

#include "http/Limits.h"
#include "http/ServerContext.h"
#include "http/UrlMapping.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

constexpr char kPass[] = "demo:$2y$05$OPvOjup27rJJMMfCtYl3Oe8jHIT0ATA.Qi6W6vRuqfzS35OE/j442\n";

TEST(AccessGuard, AnswersWithoutAPasswordCheck) {
    TempDir root;
    root.Write("open/a.txt", "a");
    root.Write("top/.pass", kPass);
    root.Write("top/mid/deep/b.bin", "b");
    // A .pass that cannot be read, for root as for anyone: a link that leads nowhere.
    root.Write("locked/c.bin", "c");
    ASSERT_EQ(::symlink("missing", (root.Path() + "/locked/.pass").c_str()), 0);
    root.Write("RemoteControl/index.html", "r");
    root.Write("Shots/.pass", kPass);
    root.Write("Shots/s.png", "s");
    asio::io_context io;
    ServerContext context;
    context.documentRoot = AnsiToWide(root.Path());
    AccessGuard guard(io, context.documentRoot);
    guard.SetLocalOnlyFolders({L"/RemoteControl", L"/Shots"});
    struct Row {
        const wchar_t* url;
        const wchar_t* peer;
        AccessGuard::Verdict verdict;
        const char* statusLine;
        const char* challenge;
    };
    using V = AccessGuard::Verdict;
    const wchar_t *local = L"127.0.0.1", *remote = L"192.0.2.7";
    const char *k401 = "HTTP/1.0 401 Unauthorized", *k403 = "HTTP/1.0 403 Forbidden";
    const char* top = "Basic realm=\"/top\", charset=\"UTF-8\"";
    const Row rows[] = {
        {L"/open/a.txt", remote, V::Allowed, "", ""}, {L"/top/mid/deep/b.bin", local, V::Answered, k401, top},
        {L"/top/mid/missing.bin", local, V::Answered, k401, top}, {L"/top/mid", local, V::Answered, k401, top},
        {L"/locked/c.bin", local, V::Answered, k403, ""}, {L"/RemoteControl/index.html", local, V::Allowed, "", ""},
        {L"/RemoteControl/index.html", L"::1", V::Allowed, "", ""},
        {L"/RemoteControl/index.html", remote, V::Answered, k403, ""},
        {L"/RemoteControl/index.html", L"", V::Answered, k403, ""}, {L"/RemoteControl/", remote, V::Answered, k403, ""},
        {L"/Shots/s.png", remote, V::Answered, k401, "Basic realm=\"/Shots\", charset=\"UTF-8\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToAnsi(row.url) + " from " + WideToAnsi(row.peer));
        ResponseSink sink;
        CRequest request{.peerAddress = row.peer, .urlPath = row.url, .server = &context, .response = &sink};
        MapUrl(request);
        EXPECT_EQ(guard.Check(request), row.verdict);
        if (row.verdict == V::Allowed) continue;
        const Response response = ParseResponse(std::string(sink.buffer.PendingBytes()));
        EXPECT_EQ(response.statusLine, row.statusLine);
        EXPECT_EQ(response.Header("WWW-Authenticate"), row.challenge);
        EXPECT_FALSE(request.mappedFile.IsOpen());
    }
    EXPECT_TRUE(guard.IsProtected(L"/top/mid"));
    EXPECT_FALSE(guard.IsProtected(L"/open"));
}

TEST(FailedLogins, WaitAfterFiveInAMinuteDoublingUpToThirtySeconds) {
    using std::chrono::seconds;
    FailedLogins failures;
    const auto start = FailedLogins::Clock::time_point() + std::chrono::hours(1);
    const std::wstring a = L"192.0.2.1";
    for (int i = 1; i <= 4; ++i) EXPECT_FALSE(failures.RecordFailure(a, start + seconds(i)));
    EXPECT_EQ(failures.Delay(a, start + seconds(5)), seconds(0));
    EXPECT_TRUE(failures.RecordFailure(a, start + seconds(5)));
    EXPECT_EQ(failures.Delay(a, start + seconds(6)), seconds(1));
    EXPECT_EQ(failures.Delay(L"192.0.2.2", start + seconds(6)), seconds(0));
    const long long expected[] = {2, 4, 8, 16, 30, 30};
    for (int i = 0; i < 6; ++i) {
        failures.RecordFailure(a, start + seconds(6 + i));
        EXPECT_EQ(failures.Delay(a, start + seconds(6 + i)), seconds(expected[i]));
    }
    // A quiet minute after the last failure ends the wait.
    EXPECT_EQ(failures.Delay(a, start + seconds(11 + 60)), seconds(0));
    // Failures spread over more than a minute never add up to a wait.
    for (int i = 0; i < 10; ++i) failures.RecordFailure(L"192.0.2.3", start + seconds(20 * i));
    EXPECT_EQ(failures.Delay(L"192.0.2.3", start + seconds(200)), seconds(0));
    // A success forgets the count.
    for (int i = 0; i < 5; ++i) failures.RecordFailure(L"192.0.2.4", start);
    failures.RecordSuccess(L"192.0.2.4");
    EXPECT_EQ(failures.Delay(L"192.0.2.4", start), seconds(0));
}

}  // namespace
}  // namespace tarnhollow::test
