// GGA sentences into fixes: checksum, quality and HDOP filter, time and coordinates.
#include "gps/NmeaSentence.h"

#include <cmath>

#include "gps/GpsFix.h"
#include "gps/GpsNumbers.h"
#include "gps/PatternMatch.h"
#include "http/Request.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// The GGA pattern's groups.
enum GgaGroup : size_t { kTime, kLatitude, kNorthSouth, kLongitude, kEastWest, kQuality, kDop, kChecksum, kGgaGroups };
constexpr size_t kTimeGroups = 3;
constexpr size_t kCoordinateGroups = 2;

std::wstring_view WithoutLineBreak(std::wstring_view line) {
    const size_t end = line.find_last_not_of(L"\r\n");
    return line.substr(0, end == std::wstring_view::npos ? 0 : end + 1);
}

// The low 8 bits of a hexadecimal number (its last two digits decide them).
unsigned HexLowByte(std::wstring_view text) {
    text = TrimLeft(text);
    unsigned value = 0;
    for (wchar_t c : text) {
        unsigned digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        else break;
        value = ((value << 4) | digit) & 0xFF;
    }
    return value;
}

std::wstring Rejection(std::wstring_view reason, std::wstring_view line) {
    return L"\nToExtract " + std::wstring(reason) + L"  " + std::wstring(WithoutLineBreak(line));
}

}  // namespace

bool NmeaPatterns::Compile(std::wstring_view ggaText, std::wstring_view coordinateText, std::wstring_view timeText) {
    compiled = gga.Compile(ggaText) == PatternError::None && coordinate.Compile(coordinateText) == PatternError::None &&
               time.Compile(timeText) == PatternError::None;
    return compiled;
}

unsigned SentenceChecksum(std::wstring_view line) {
    if (line.size() < 2) return 0;
    const size_t star = line.find(L'*', 1);
    unsigned sum = 0;
    for (wchar_t c : line.substr(1, star == std::wstring_view::npos ? star : star - 1)) sum ^= static_cast<unsigned>(c);
    return sum & 0xFF;
}

Coordinate ConvertCoordinate(const Pattern& coordinatePattern, std::wstring_view field, bool negative) {
    // The pattern sees the field as it always has, signed by its hemisphere; the sign of
    // the value is taken from the hemisphere alone, so that a place within a degree north
    // of the equator or east of the prime meridian does not come out negative.
    const std::wstring signedField = (negative ? L"-" : L"") + std::wstring(field);
    PatternMatch match;
    if (!coordinatePattern.Match(signedField, match) || match.GroupCount() != kCoordinateGroups) return {};
    const double degrees = std::fabs(static_cast<double>(ParseSignedDecimal(GroupText(match, 0))));
    const double minutes = ParseDecimalNumber(GroupText(match, 1));
    const double magnitude = degrees + minutes * (1.0 / 60.0);
    const double value = negative ? -magnitude : magnitude;
    return {FormatCoordinate(value), value};
}

SentenceOutcome ExtractSentence(const NmeaPatterns& patterns, const FixLimits& limits, std::wstring_view line) {
    SentenceOutcome outcome;
    if (!patterns.compiled || line.size() > kMaxSentenceChars) return outcome;
    const unsigned checksum = SentenceChecksum(line);
    PatternMatch gga;
    if (!patterns.gga.Match(line, gga) || gga.GroupCount() != kGgaGroups) return outcome;
    auto group = [&gga](size_t index) { return GroupText(gga, index); };

    outcome.kind = SentenceOutcome::Kind::Rejected;
    if (HexLowByte(group(kChecksum)) != checksum) {
        outcome.logEntry = Rejection(L"checksum:", line);
        return outcome;
    }
    const long long quality = ParseSignedDecimal(group(kQuality));
    if (quality < limits.qualityMin || quality > limits.qualityMax) {
        outcome.logEntry = Rejection(L"validity: " + std::to_wstring(quality) + L"," +
                                         std::to_wstring(limits.qualityMin) + L"->" + std::to_wstring(limits.qualityMax),
                                     line);
        return outcome;
    }
    const double dop = ParseDecimalNumber(group(kDop));
    if (dop > limits.maxDop) {
        outcome.logEntry = Rejection(L"DOP " + AnsiToWide(FormatSixDecimals(dop)) + L"," +
                                         AnsiToWide(FormatSixDecimals(limits.maxDop)),
                                     line);
        return outcome;
    }

    outcome.kind = SentenceOutcome::Kind::Fix;
    const std::wstring time = group(kTime);
    PatternMatch timeMatch;
    if (patterns.time.Match(time, timeMatch) && timeMatch.GroupCount() == kTimeGroups) {
        outcome.timeText =
            PlainGpsText(GroupText(timeMatch, 0) + L":" + GroupText(timeMatch, 1) + L":" + GroupText(timeMatch, 2)) +
            L" UTC";
        outcome.time = ParseSignedDecimal(time);
    }
    const Coordinate latitude = ConvertCoordinate(patterns.coordinate, group(kLatitude), group(kNorthSouth) != L"N");
    const Coordinate longitude = ConvertCoordinate(patterns.coordinate, group(kLongitude), group(kEastWest) != L"E");
    outcome.latitudeText = latitude.text;
    outcome.latitude = latitude.value;
    outcome.longitudeText = longitude.text;
    outcome.longitude = longitude.value;
    outcome.logEntry = L"\n" + outcome.timeText + L"," + outcome.longitudeText + L"," + outcome.latitudeText;
    return outcome;
}

}  // namespace tarnhollow
