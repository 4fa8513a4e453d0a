// The raw log past its limit: its oldest part cut away up to a line boundary, and a
// renamed log.
#include "gps/RawLog.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

TEST(RawLog, PastTheLimitTheOldestPartGoesUpToALineBreak) {
    TempDir folder;
    const std::string path = folder.Path() + "/gps.log";
    RawLog log;
    // Ten entries of 10 bytes, each begun by its line break; with a limit of 95 the cut
    // lies at 100 - 95 + 9 = 14, and the next line break within 19 bytes is at 20.
    for (int i = 0; i < 10; ++i) log.Append(L"\nline " + std::to_wstring(1000 + i), path, 95);
    std::string expected = "line 1002";
    for (int i = 3; i < 10; ++i) expected += "\nline " + std::to_string(1000 + i);
    EXPECT_EQ(folder.Read("gps.log"), expected);
    // A name change opens the new file; the old one keeps what it had.
    log.Append(L"\nnew", folder.Path() + "/other.log", 95);
    EXPECT_EQ(folder.Read("other.log"), "\nnew");
    EXPECT_EQ(folder.Read("gps.log"), expected);
}

}  // namespace
}  // namespace tarnhollow::test
