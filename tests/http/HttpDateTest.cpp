// HTTP dates: the layout the server writes, and the three layouts of If-Modified-Since
// it reads.
#include "http/HttpDate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace tarnhollow::test {
namespace {

TEST(HttpDate, FormatsInTheStringTableLayout) {
    EXPECT_EQ(FormatHttpDate(1803891903), L"Mon, 01 Mar 2027 09:05:03 GMT");
    EXPECT_EQ(FormatHttpDate(1803891903, 86400), L"Tue, 02 Mar 2027 09:05:03 GMT");
    // A file answer writes the current date and the file's date in turn: neither may
    // come back as the other.
    for (int i = 0; i < 2; ++i) {
        const std::optional<std::time_t> now = ParseHttpDate(FormatHttpDate(std::nullopt));
        ASSERT_TRUE(now);
        EXPECT_LE(std::abs(static_cast<long long>(*now - std::time(nullptr))), 2);
        EXPECT_EQ(FormatHttpDate(784111777), L"Sun, 06 Nov 1994 08:49:37 GMT");
    }
}

TEST(HttpDate, IfModifiedSinceLayouts) {
    struct Row {
        const char* description;
        std::wstring text;
        std::optional<std::time_t> expected;
    };
    const std::time_t nov6 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    const Row rows[] = {
        {"RFC 1123", L"Sun, 06 Nov 1994 08:49:37 GMT", nov6},
        {"RFC 850", L"Sunday, 06-Nov-94 08:49:37 GMT", nov6},
        {"asctime", L"Sun Nov  6 08:49:37 1994", nov6},
        {"month in lower case", L"Sun, 06 nov 1994 08:49:37 GMT", nov6},
        {"two-digit year 50 is 2050", L"Sunday, 06-Nov-50 08:49:37 GMT", 2551337377},
        {"two-digit year 51 is 1951", L"Tuesday, 06-Nov-51 08:49:37 GMT", -572886623},
        {"RFC 850 without comma-space", L"Sunday 06-Nov-94 08:49:37 GMT", std::nullopt},
        {"unknown month", L"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
        {"day 31 in February", L"Sun, 31 Feb 1994 08:49:37 GMT", std::nullopt},
        {"hour 25", L"Sun, 06 Nov 1994 25:49:37 GMT", std::nullopt},
        {"truncated", L"Sun, 06 Nov", std::nullopt},
        {"empty-ish", L"Sun", std::nullopt},
        {"year 0", L"Sun, 06 Nov 0000 08:49:37 GMT", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(ParseHttpDate(row.text), row.expected);
    }
}

}  // namespace
}  // namespace tarnhollow::test
