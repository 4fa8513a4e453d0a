// The reader against a pseudo-terminal: a fix read into the texts, the track, the raw
// log, the fix file and the settings; the stop after 31 ports and the restart; a stop
// during a long read; files that cannot be written; patterns that do not compile.
#include "gps/GpsReader.h"

#include <gtest/gtest.h>

#include <string>

#include "gps/FakeReceivers.h"
#include "gps/FixFile.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

constexpr GpsReaderTimings kQuick{.searchPeriodMilliseconds = 5, .readPeriodMilliseconds = 5,
                                  .readTimeoutMilliseconds = 500};

class GpsReaderTest : public ::testing::Test {
protected:
    // A settings file of `lines` (TOML) in a fresh folder, and a state folder beside it.
    void UseSettings(const std::string& lines) { SetSettingsFile(folder_.Write("settings.toml", lines)); }
    std::string Log() const {
        return ::access((state_ + "gps.log").c_str(), F_OK) == 0 ? folder_.Read("state/gps.log") : "";
    }
    static bool ShowsExampleFix(const GpsReader& reader) { return reader.CurrentTexts().time == L"12:35:19 UTC"; }

    TempDir folder_;
    const std::string state_ = folder_.Path() + "/state/";
};

TEST_F(GpsReaderTest, AFixFromAReceiverReachesTextsTrackLogFixFileAndSettings) {
    PtyReceiver receiver;
    UseSettings("NMEAPortTemplate = '" + receiver.Name() + "'\n");
    {
        auto reader = MakePeriodic<GpsReader>(state_, kQuick);
        reader->StartReading();
        ASSERT_TRUE(receiver.Send(Sentence("GPRMC,1") + Sentence(kExampleBody)));
        ASSERT_TRUE(WaitUntil([&] { return ShowsExampleFix(*reader); })) << Log();
        ASSERT_EQ(reader->Track().size(), 1u);
        EXPECT_EQ(reader->Track()[0].texts, (std::vector<std::wstring>{L"12:35:19 UTC", L"11.51666667", L"48.1173"}));
    }
    EXPECT_EQ(Log().substr(0, Log().find(".. failed")), "\n" + receiver.Name() + "\n12:35:19 UTC,11.51666667,48.1173");
    EXPECT_EQ(ParseFixFile(folder_.Read("state/gpsfix.log"), 20).size(), 1u);
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadDword(key.get(), L"GpsPrevTime", 0), 123519u);
    EXPECT_EQ(ReadString(key.get(), L"GpsPrevLat", L""), L"48.1173");
    // The next reader starts with the saved track.
    EXPECT_EQ(MakePeriodic<GpsReader>(state_, kQuick)->Track().size(), 1u);
}

TEST(FormatPortName, OnlyTheFirstTwoConversionsAndPercentsAreExpanded) {
    EXPECT_EQ(FormatPortName(L"/dev/ttyACM%d", 0), "/dev/ttyACM0");
    EXPECT_EQ(FormatPortName(L"%s%n%x%5d|%d|%d|%d|%%", 9), "%s%n%x%5d|9|10|%d|%");
}

TEST_F(GpsReaderTest, StopsAfter31PortsAndStartsAgainWhenAsked) {
    UseSettings("NMEAPortTemplate = '" + folder_.Path() + "/tty%d'\n");
    auto reader = MakePeriodic<GpsReader>(state_, kQuick);
    reader->StartReading();
    ASSERT_TRUE(WaitUntil([&] { return !reader->IsRunning(); }));
    std::string expected;
    for (int i = 0; i < 31; ++i) expected += "\n" + folder_.Path() + "/tty" + std::to_string(i % 10) + ".. failed";
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(WideToAnsi(reader->CurrentTexts().hardware),
              "GPS on " + folder_.Path() + "/tty0  not found. Searching...");
    reader->StartReading();
    EXPECT_TRUE(reader->IsRunning());
    auto failures = [&] {
        const std::string log = Log();
        size_t count = 0;
        for (size_t at = log.find(".. failed"); at != std::string::npos; at = log.find(".. failed", at + 1)) ++count;
        return count;
    };
    EXPECT_TRUE(WaitUntil([&] { return failures() == 62 && !reader->IsRunning(); }));
}

TEST_F(GpsReaderTest, DestructionWakesAReadThatWouldWaitAnHour) {
    PtyReceiver receiver;
    UseSettings("NMEAPortTemplate = '" + receiver.Name() + "'\n");
    auto reader = MakePeriodic<GpsReader>(state_, GpsReaderTimings{.readTimeoutMilliseconds = 3600 * 1000});
    reader->StartReading();
    ASSERT_TRUE(WaitUntil([&] { return !Log().empty(); }));
    reader.reset();
    EXPECT_EQ(Log(), "\n" + receiver.Name());
}

TEST_F(GpsReaderTest, FilesThatCannotBeWrittenLeaveTheRunGoingOn) {
    PtyReceiver receiver;
    const std::string file = folder_.Write("a-file", "x");
    UseSettings("NMEAPortTemplate = '" + receiver.Name() + "'\nGpsLogFileName = '" + file + "/gps.log'\n");
    auto reader = MakePeriodic<GpsReader>(file + "/", kQuick);
    reader->StartReading();
    ASSERT_TRUE(receiver.Send(Sentence(kExampleBody)));
    EXPECT_TRUE(WaitUntil([&] { return ShowsExampleFix(*reader); }));
    reader.reset();
    EXPECT_EQ(folder_.Read("a-file"), "x");
}

TEST_F(GpsReaderTest, APatternThatDoesNotCompileKeepsTheStoredTrack) {
    UseSettings("NMEATime = '{\\d'\nNMEAPortTemplate = ''\n");
    const std::string stored = FormatFixFile({GpsFix{{L"12:35:19 UTC", L"11.51666667", L"48.1173"}}});
    folder_.Write("state/gpsfix.log", stored);
    MakePeriodic<GpsReader>(state_, kQuick).reset();
    EXPECT_EQ(folder_.Read("state/gpsfix.log"), stored);
}

}  // namespace
}  // namespace tarnhollow::test
