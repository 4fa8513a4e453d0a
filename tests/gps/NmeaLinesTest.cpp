// Line splitting: lines with their breaks, runs of breaks, a line split across reads,
// a zero byte, and the bound on text that never sees a line break.
#include "gps/NmeaLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TextConvert.h"

namespace tarnhollow::test {
namespace {

struct Case {
    const char* description;
    std::vector<std::string> reads;
    // The lines handled, joined by "|", and whether the last read handled any.
    std::string lines;
    bool lastHandled;
    std::string pending;
};

TEST(NmeaLines, Table) {
    const Case cases[] = {
        {"one line with CR LF", {"$A\r\n"}, "$A\r\n", true, ""},
        {"runs of breaks are skipped", {"\r\n\n$A\r\r\n$B\n\r"}, "$A\r\r\n|$B\n\r", true, ""},
        {"a line split across reads", {"$GPG", "GA,1*00\r\n$N"}, "$GPGGA,1*00\r\n", true, "$N"},
        {"no complete line", {"$A\r\n", "$B"}, "$A\r\n", false, "$B"},
        {"a zero byte ends what a read brought", {std::string("$A\r\n$B\0\r\n", 9)}, "$A\r\n", true, "$B"},
        {"text without line breaks is bounded", {std::string(kMaxPendingChars + 1, 'x')}, "", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        NmeaLines lines;
        std::string handled;
        bool lastHandled = false;
        for (const std::string& read : c.reads) {
            lastHandled = lines.Feed(read, [&handled](std::wstring_view line) {
                handled += (handled.empty() ? "" : "|") + WideToAnsi(line);
            });
        }
        EXPECT_EQ(handled, c.lines);
        EXPECT_EQ(lastHandled, c.lastHandled);
        EXPECT_EQ(WideToAnsi(lines.Pending()), c.pending);
    }
}

}  // namespace
}  // namespace tarnhollow::test
