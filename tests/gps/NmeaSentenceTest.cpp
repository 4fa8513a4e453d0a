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

// A GGA body from "time,latitude,N/S,longitude,E/W", a quality and an HDOP.
std::string Gga(const std::string& position, const std::string& quality = "1", const std::string& dop = "0.9") {
    return "GPGGA," + position + "," + quality + ",08," + dop + ",545.4,M,46.9,M,,";
}

TEST(NmeaSentence, Table) {
    const std::string here = "123519,4807.038,N,01131.000,E";
    std::string badChecksum = Sentence(kExampleBody);
    badChecksum.replace(badChecksum.find('*') + 1, 2, "00");
    // A fix logs its texts; a rejected sentence its reason and the line without its break.
    struct Case { const char* description; std::string line; Kind kind; std::string time, longitude, latitude, why; };
    const Case cases[] = {
        {"the example, north and east", Sentence(kExampleBody), Kind::Fix, "12:35:19 UTC", "11.51666667", "48.1173"},
        {"south and west", Sentence(Gga("123519,4807.038,S,01131.000,W")), Kind::Fix, "12:35:19 UTC", "-11.51666667",
         "-48.1173"},
        {"half a degree north and east stays positive", Sentence(Gga("000000,0030.000,N,00030.000,E")), Kind::Fix,
         "00:00:00 UTC", "0.5", "0.5"},
        {"half a degree south and west", Sentence(Gga("000000,0030.000,S,00030.000,W")), Kind::Fix, "00:00:00 UTC",
         "-0.5", "-0.5"},
        {"lower-case checksum (4d)", Sentence(Gga("123520,4807.038,N,01131.000,E"), true), Kind::Fix, "12:35:20 UTC",
         "11.51666667", "48.1173"},
        {"bad checksum", badChecksum, Kind::Rejected, "", "", "", "checksum:"},
        {"quality 0", Sentence(Gga(here, "0")), Kind::Rejected, "", "", "", "validity: 0,1->3"},
        {"quality 4", Sentence(Gga(here, "4")), Kind::Rejected, "", "", "", "validity: 4,1->3"},
        {"HDOP at the maximum", Sentence(Gga(here, "1", "50.0")), Kind::Fix, "12:35:19 UTC", "11.51666667", "48.1173"},
        {"HDOP above the maximum", Sentence(Gga(here, "1", "50.1")), Kind::Rejected, "", "", "",
         "DOP 50.100000,50.000000"},
        {"unparsable time and latitude", Sentence(Gga("12x519,north,N,01131.000,E")), Kind::Fix, "", "11.51666667", ""},
        {"fewer fields", Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08"), Kind::Ignored},
        {"a line far longer than any sentence", Sentence(kExampleBody + std::string(2000, 'M')), Kind::Ignored},
    };
    NmeaPatterns patterns;
    patterns.Compile(kDefaultGgaPattern, kDefaultCoordinatePattern, kDefaultTimePattern);
    ASSERT_TRUE(patterns.compiled);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const SentenceOutcome outcome = ExtractSentence(patterns, FixLimits{}, AnsiToWide(c.line));
        EXPECT_EQ(outcome.kind, c.kind);
        std::string log;  // an ignored line logs nothing
        if (c.kind == Kind::Fix) log = "\n" + c.time + "," + c.longitude + "," + c.latitude;
        if (c.kind == Kind::Rejected) log = "\nToExtract " + c.why + "  " + c.line.substr(0, c.line.size() - 2);
        EXPECT_EQ(WideToAnsi(outcome.logEntry), log);
        EXPECT_EQ(WideToAnsi(outcome.timeText), c.time);
        EXPECT_EQ(WideToAnsi(outcome.longitudeText), c.longitude);
        EXPECT_EQ(WideToAnsi(outcome.latitudeText), c.latitude);
    }
}

}  // namespace
}  // namespace tarnhollow::test
