// Access log lines: the Combined Log Format, masked secrets and escaped client text.
#include "http/AccessLog.h"

#include <gtest/gtest.h>

#include "http/ResponseWriter.h"

namespace tarnhollow::test {
namespace {

TEST(AccessLog, CombinedFormatWithSecretsMaskedAndClientTextEscaped) {
    struct Row {
        const char* description;
        std::wstring peer, method, path, query;
        unsigned status;
        std::unordered_map<std::wstring, std::wstring> headers;
        std::wstring user;
        long long bytes;
        const char* line;
    };
    const Row rows[] = {
        {"a plain file", L"127.0.0.1", L"GET", L"/a b.jpg", L"", kStatusOk, {}, L"", 1234,
         "127.0.0.1 - - [01/Mar/2027:09:05:03 +0000] \"GET /a%20b.jpg HTTP/1.0\" 200 1234 \"-\" \"-\"\n"},
        {"a user, a referer and an agent, nothing sent", L"::1", L"GET", L"/p/", L"", kStatusNotModified,
         {{L"referer", L"http://x/y"}, {L"user-agent", L"Agent \"1\"\\"}}, L"demo", 0,
         "::1 - demo [01/Mar/2027:09:05:03 +0000] \"GET /p/ HTTP/1.0\" 304 - \"http://x/y\" \"Agent \\\"1\\\"\\\\\"\n"},
        {"secrets in the query and the referer", L"", L"GET", L"/x", L"a=1&Password=hunter2&my%50wd=z&pass", kStatusOk,
         {{L"referer", L"http://u:pw@h/?secretKey=s&b=2#f"}}, L"", 5,
         "- - - [01/Mar/2027:09:05:03 +0000] \"GET /x?a=1&Password=*&my%50wd=*&pass HTTP/1.0\" 200 5 "
         "\"http://*@h/?secretKey=*&b=2#f\" \"-\"\n"},
        {"a forged line break and an absolute target with credentials", L"127.0.0.1", L"G\nET", L"http://u:p@h/\"x", L"",
         kStatusNotFound, {}, L"", 0,
         "127.0.0.1 - - [01/Mar/2027:09:05:03 +0000] \"G\\x0aET http://*@h/%22x HTTP/1.0\" 404 - \"-\" \"-\"\n"},
        {"an empty request", L"127.0.0.1", L"", L"", L"", 4501, {}, L"", 0,
         "127.0.0.1 - - [01/Mar/2027:09:05:03 +0000] \"\" 501 - \"-\" \"-\"\n"},
    };
    const std::time_t when = 1803891903;  // Mon, 01 Mar 2027 09:05:03 GMT
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        const CRequest request{.peerAddress = row.peer, .method = row.method, .urlPath = row.path,
                               .version = row.method.empty() ? L"" : L"HTTP/1.0", .headers = row.headers,
                               .rawQuery = row.query, .status = row.status, .authenticatedUser = row.user};
        EXPECT_EQ(FormatAccessLine(request, row.bytes, when), row.line);
    }
}

}  // namespace
}  // namespace tarnhollow::test
