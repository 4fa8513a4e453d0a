// Percent-encoding of paths with its two byte sets.
#include "http/PercentEncoding.h"

#include <gtest/gtest.h>

namespace tarnhollow::test {
namespace {

TEST(PercentEncoding, PathsAndLinks) {
    EXPECT_EQ(PercentEncode(L"/a b/c%d?\u00e9\t"), L"/a%20b/c%d?%C3%A9%09");
    EXPECT_EQ(PercentEncode(std::wstring(L"\x01\x7f", 2)), std::wstring(L"%01\x7f", 4));
    EXPECT_EQ(PercentEncode(L"/a b/c%d?#\"'<>&\\\x7f", PercentSet::Link), L"/a%20b/c%25d%3F%23%22%27%3C%3E%26%5C%7F");
}

}  // namespace
}  // namespace tarnhollow::test
