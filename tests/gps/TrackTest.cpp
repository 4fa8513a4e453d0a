// The track filter's time and distance steps, the track limit, and the fix file's
// damaged, hostile and surplus lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gps/FixFile.h"
#include "gps/GpsTrack.h"
#include "gps/TrackFilter.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

TEST(TrackFilter, TimeAndDistanceSteps) {
    struct Case { const char* description; long long time; double longitude, latitude; bool addToTrack, sendNearMe; };
    // Previous fix 120000 at (11.5, 48.1); defaults: 1500 hhmmss, 0.001 degrees.
    const Case cases[] = {
        {"1459 later: nothing", 121459, 20, 50, false, false},
        {"1500 later: nothing", 121500, 20, 50, false, false},
        {"1501 later, moved: track and NearMe", 121501, 20, 50, true, true},
        {"1501 later, same distance from (0, 0): NearMe only", 121501, 48.1, 11.5, false, true},
        {"earlier by more than the step, 0.002 further out: track and NearMe", 114459, 11.5, 48.102, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        TrackFilter filter(1500, 0.001, {120000, 11.5, 48.1});
        const TrackFilter::Decision decision = filter.Consider(c.time, c.longitude, c.latitude);
        EXPECT_EQ(decision.addToTrack, c.addToTrack);
        EXPECT_EQ(decision.sendNearMe, c.sendNearMe);
        EXPECT_EQ(filter.Previous().time, c.sendNearMe ? c.time : 120000);
    }
}

TEST(GpsTrack, TwentyFixesThenTheOldestGoes) {
    GpsTrack track(20);
    for (int i = 0; i < 21; ++i) track.Add(GpsFix{{L"t" + std::to_wstring(i)}});
    const std::vector<GpsFix> fixes = track.Copy();
    ASSERT_EQ(fixes.size(), 20u);
    EXPECT_EQ(fixes.front().texts[0], L"t1");
    EXPECT_EQ(fixes.back().texts[0], L"t20");
}

TEST(FixFile, Lines) {
    struct Case {
        const char* description; std::string text; size_t keep;
        std::vector<std::vector<std::wstring>> fixes;
    };
    const Case cases[] = {
        {"two adjacent commas give fewer fields", "12:00 UTC,,48.1,\n", 20, {{L"12:00 UTC", L"48.1"}}},
        {"an empty line is no fix", "a,b,c,\n\n,,\nd,e,f,\n", 20, {{L"a", L"b", L"c"}, {L"d", L"e", L"f"}}},
        {"CR LF and a last line without break", "a,b,c\r\nd,e,f", 20, {{L"a", L"b", L"c"}, {L"d", L"e", L"f"}}},
        {"markup and quotes become ?", "<script>,\"x\\,1,\n", 20, {{L"?script?", L"?x?", L"1"}}},
        {"at most three fields", "a,b,c,d,\n", 20, {{L"a", L"b", L"c"}}},
        {"the newest are kept", "a,\nb,\nc,\n", 2, {{L"b"}, {L"c"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        std::string utf16;  // the file is UTF-16LE
        for (char ascii : c.text) utf16 += std::string{ascii, '\0'};
        std::vector<std::vector<std::wstring>> fixes;
        for (const GpsFix& fix : ParseFixFile(utf16, c.keep)) fixes.push_back(fix.texts);
        EXPECT_EQ(fixes, c.fixes);
    }
    // A character beyond the 16-bit range is a surrogate pair, and an unpaired one is "?".
    EXPECT_EQ(ParseFixFile(FormatFixFile({GpsFix{{L"\U0001F30D"}}}), 20)[0].texts[0], L"\U0001F30D");
    EXPECT_EQ(ParseFixFile(std::string("\x00\xD8,\x00", 4), 20)[0].texts[0], L"?");
}

}  // namespace
}  // namespace tarnhollow::test
