// Sentence extraction through the default patterns: the example fixes in both
// hemispheres and near zero, checksums, the quality and HDOP filter with its raw log
// lines, unparsable fields, and lines that are no GGA sentence.
#include "gps/NmeaSentence.h"

#include <gtest/gtest.h>

#include <string>

#include "gps/FakeReceivers.h"
#include "gps/GpsSettings.h"
#include "platform/TextConvert.h"

namespace tarnhollow::test {
namespace {

using Kind = SentenceOutcome::Kind;

NmeaPatterns DefaultPatterns() {
    NmeaPatterns patterns;
    patterns.Compile(kDefaultGgaPattern, kDefaultCoordinatePattern, kDefaultTimePattern);
    return patterns;
}

std::string GgaBody(const std::string& time, const std::string& latitude, const std::string& northSouth,
                    const std::string& longitude, const std::string& eastWest, const std::string& quality = "1",
                    const std::string& dop = "0.9") {
    return "GPGGA," + time + "," + latitude + "," + northSouth + "," + longitude + "," + eastWest + "," + quality +
           ",08," + dop + ",545.4,M,46.9,M,,";
}

// The sentence without its line break, as the raw log shows it.
std::string Logged(const std::string& sentence) { return sentence.substr(0, sentence.size() - 2); }

struct Case {
    const char* description;
    std::string line;
    Kind kind;
    std::string log;
    std::string time, longitude, latitude;
};

TEST(NmeaSentence, Table) {
    const std::string example = Sentence(kExampleBody);
    const std::string quality0 = Sentence(GgaBody("123519", "4807.038", "N", "01131.000", "E", "0"));
    const std::string quality4 = Sentence(GgaBody("123519", "4807.038", "N", "01131.000", "E", "4"));
    const std::string dop501 = Sentence(GgaBody("123519", "4807.038", "N", "01131.000", "E", "1", "50.1"));
    std::string badChecksum = example;
    badChecksum.replace(badChecksum.find('*') + 1, 2, "00");
    const std::string fix = "\n12:35:19 UTC,11.51666667,48.1173";
    const Case cases[] = {
        {"the example, north and east", example, Kind::Fix, fix, "12:35:19 UTC", "11.51666667", "48.1173"},
        {"south and west", Sentence(GgaBody("123519", "4807.038", "S", "01131.000", "W")), Kind::Fix,
         "\n12:35:19 UTC,-11.51666667,-48.1173", "12:35:19 UTC", "-11.51666667", "-48.1173"},
        {"half a degree north and east stays positive",
         Sentence(GgaBody("000000", "0030.000", "N", "00030.000", "E")), Kind::Fix, "\n00:00:00 UTC,0.5,0.5",
         "00:00:00 UTC", "0.5", "0.5"},
        {"half a degree south and west", Sentence(GgaBody("000000", "0030.000", "S", "00030.000", "W")), Kind::Fix,
         "\n00:00:00 UTC,-0.5,-0.5", "00:00:00 UTC", "-0.5", "-0.5"},
        {"lower-case checksum (4d)", Sentence(GgaBody("123520", "4807.038", "N", "01131.000", "E"), true), Kind::Fix,
         "\n12:35:20 UTC,11.51666667,48.1173", "12:35:20 UTC", "11.51666667", "48.1173"},
        {"bad checksum", badChecksum, Kind::Rejected, "\nToExtract checksum:  " + Logged(badChecksum), "", "", ""},
        {"quality 0", quality0, Kind::Rejected, "\nToExtract validity: 0,1->3  " + Logged(quality0), "", "", ""},
        {"quality 4", quality4, Kind::Rejected, "\nToExtract validity: 4,1->3  " + Logged(quality4), "", "", ""},
        {"HDOP at the maximum", Sentence(GgaBody("123519", "4807.038", "N", "01131.000", "E", "1", "50.0")),
         Kind::Fix, fix, "12:35:19 UTC", "11.51666667", "48.1173"},
        {"HDOP above the maximum", dop501, Kind::Rejected,
         "\nToExtract DOP 50.100000,50.000000  " + Logged(dop501), "", "", ""},
        {"unparsable time and latitude", Sentence(GgaBody("12x519", "north", "N", "01131.000", "E")), Kind::Fix,
         "\n,11.51666667,", "", "11.51666667", ""},
        {"fewer fields", Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08"), Kind::Ignored, "", "", "", ""},
        {"a line far longer than any sentence", Sentence(kExampleBody + std::string(2000, 'M')), Kind::Ignored, "",
         "", "", ""},
    };
    const NmeaPatterns patterns = DefaultPatterns();
    ASSERT_TRUE(patterns.compiled);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const SentenceOutcome outcome = ExtractSentence(patterns, FixLimits{}, AnsiToWide(c.line));
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(WideToAnsi(outcome.logEntry), c.log);
        EXPECT_EQ(WideToAnsi(outcome.timeText), c.time);
        EXPECT_EQ(WideToAnsi(outcome.longitudeText), c.longitude);
        EXPECT_EQ(WideToAnsi(outcome.latitudeText), c.latitude);
    }
}

}  // namespace
}  // namespace tarnhollow::test
