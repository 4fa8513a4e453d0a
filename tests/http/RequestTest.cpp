// Request lines, header lines, URL decoding and query strings.
#include "http/Request.h"

#include <gtest/gtest.h>

namespace tarnhollow::test {
namespace {

CRequest ParseRequestLine(const std::wstring& line) {
    CRequest request;
    ReadState state = ReadState::RequestLine;
    ParseLine(request, state, line);
    EXPECT_EQ(state, ReadState::Headers);
    return request;
}

TEST(RequestParsing, RequestLines) {
    struct Row {
        const char* description;
        std::wstring line, method, path, version, query;
    };
    const Row rows[] = {
        {"ordinary", L"GET /a%20b.txt HTTP/1.0", L"GET", L"/a b.txt", L"HTTP/1.0", L""},
        {"plus stays in a path", L"GET /a+b.txt HTTP/1.0", L"GET", L"/a+b.txt", L"HTTP/1.0", L""},
        {"no version", L"GET /x", L"GET", L"/x", L"", L""},
        {"no version, trailing spaces", L"GET /x   ", L"GET", L"/x", L"", L""},
        {"no space at all", L"GARBAGE", L"", L"", L"", L""},
        {"lower-case method kept", L"get /x HTTP/1.1", L"get", L"/x", L"HTTP/1.1", L""},
        {"several spaces", L"GET    /x    HTTP/1.0", L"GET", L"/x", L"HTTP/1.0", L""},
        {"query split at the first ?", L"GET /p?a=1?b HTTP/1.0", L"GET", L"/p", L"HTTP/1.0", L"a=1?b"},
        {"escaped ? is path", L"GET /p%3Fq HTTP/1.0", L"GET", L"/p?q", L"HTTP/1.0", L""},
        {"truncated escape stays", L"GET /p% HTTP/1.0", L"GET", L"/p%", L"HTTP/1.0", L""},
        {"one digit escape stays", L"GET /p%4 HTTP/1.0", L"GET", L"/p%4", L"HTTP/1.0", L""},
        {"non-hex escape stays", L"GET /p%zz HTTP/1.0", L"GET", L"/p%zz", L"HTTP/1.0", L""},
        {"double percent", L"GET /100%%.txt HTTP/1.0", L"GET", L"/100%.txt", L"HTTP/1.0", L""},
        {"utf-8 escapes", L"GET /caf%C3%A9 HTTP/1.0", L"GET", L"/caf\u00e9", L"HTTP/1.0", L""},
        {"invalid utf-8 escape", L"GET /x%FFy HTTP/1.0", L"GET", L"/x?y", L"HTTP/1.0", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        CRequest r = ParseRequestLine(row.line);
        EXPECT_EQ(r.method, row.method);
        EXPECT_EQ(r.urlPath, row.path);
        EXPECT_EQ(r.version, row.version);
        EXPECT_EQ(r.rawQuery, row.query);
    }
}

TEST(RequestParsing, Queries) {
    using Map = std::map<std::wstring, std::wstring>;
    struct Row {
        const char* description;
        std::wstring query;
        Map expected;
    };
    const Row rows[] = {
        {"plus is space in values", L"x=a+b", {{L"x", L"a b"}}},
        {"decoded percent is not decoded again", L"x=%25%32%30", {{L"x", L"%20"}}},
        {"double percent", L"x=100%%", {{L"x", L"100%"}}},
        {"last of a repeated name wins", L"a=1&a=2", {{L"a", L"2"}}},
        {"a pair without = joins the next name", L"flag&b=1", {{L"flag&b", L"1"}}},
        {"no = at all", L"x", {}},
        {"empty value", L"a=&b=2", {{L"a", L""}, {L"b", L"2"}}},
        {"names are not decoded", L"a%20b=1", {{L"a%20b", L"1"}}},
        {"trailing ampersand", L"a=1&", {{L"a", L"1"}}},
        {"escape at the very end", L"a=1%", {{L"a", L"1%"}}},
        {"invalid utf-8 gives the default character", L"a=%E9t%E9", {{L"a", L"?t?"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        Map parameters;
        ParseQuery(row.query, parameters);
        EXPECT_EQ(parameters, row.expected);
    }
}

TEST(RequestParsing, HeaderLines) {
    CRequest r;
    ReadState state = ReadState::Headers;
    ParseLine(r, state, L"Content-Type:   text/plain  ");
    ParseLine(r, state, L"X-Spaced : kept");
    ParseLine(r, state, L"no colon here");
    ParseLine(r, state, L"x-repeat: 1");
    ParseLine(r, state, L"X-Repeat: 2");
    EXPECT_EQ(GetHeader(r, L"content-type"), L"text/plain  ");
    EXPECT_EQ(GetHeader(r, L"CONTENT-TYPE"), L"text/plain  ");
    EXPECT_EQ(GetHeader(r, L"X-Spaced"), L"");
    EXPECT_EQ(GetHeader(r, L"X-Spaced "), L"kept");
    EXPECT_EQ(GetHeader(r, L"x-repeat"), L"2");
    EXPECT_EQ(r.headers.size(), 3u);
}

TEST(RequestParsing, SignedDecimals) {
    struct Row {
        std::wstring text;
        long long value;
    };
    const Row rows[] = {{L"10", 10},      {L"  42abc", 42}, {L"-7", -7}, {L"+3", 3},
                        {L"abc", 0},      {L"", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text.begin(), row.text.end()));
        EXPECT_EQ(ParseSignedDecimal(row.text), row.value);
    }
    // Far too many digits saturate at a large positive length instead of overflowing.
    EXPECT_GT(ParseSignedDecimal(L"99999999999999999999999999"), 100000000000000000LL);
    EXPECT_LT(ParseSignedDecimal(L"-99999999999999999999999999"), 0);
}

}  // namespace
}  // namespace tarnhollow::test
