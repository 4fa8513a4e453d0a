// Sentence extraction: a received line searched with the GGA pattern, checked by its
// checksum, fix quality and dilution of precision, and turned into the time and
// coordinate texts of a fix, with the raw log entry each outcome writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gps/Pattern.h"

namespace tarnhollow {

// A GGA sentence is at most 82 characters; longer lines are not searched, so a hostile
// line cannot hold the reader inside a long pattern search.
inline constexpr size_t kMaxSentenceChars = 1024;

// The reader's three patterns, compiled from their settings, case-sensitive.
struct NmeaPatterns {
    Pattern gga;
    Pattern coordinate;
    Pattern time;
    // All three compiled; sentences are not parsed otherwise.
    bool compiled = false;

    // Compiles in the order GGA, coordinate, time, stopping at the first that fails.
    bool Compile(std::wstring_view ggaText, std::wstring_view coordinateText, std::wstring_view timeText);
};

// Which sentences count as fixes.
struct FixLimits {
    uint32_t qualityMin = 1;
    uint32_t qualityMax = 3;
    double maxDop = 50.0;
};

struct SentenceOutcome {
    enum class Kind {
        Ignored,   // not a GGA sentence of eight groups: nothing to log
        Rejected,  // bad checksum, quality out of range or HDOP too high
        Fix,       // passed the filter; the texts below are the current fix
    };
    Kind kind = Kind::Ignored;
    // What the raw log gets (empty for Ignored).
    std::wstring logEntry;
    // Empty where the time or a coordinate could not be parsed.
    std::wstring timeText;
    std::wstring longitudeText;
    std::wstring latitudeText;
    // The time as an hhmmss number and the coordinates in decimal degrees.
    long long time = 0;
    double longitude = 0;
    double latitude = 0;
};

// `line` is one line with the line-break characters after it.
SentenceOutcome ExtractSentence(const NmeaPatterns& patterns, const FixLimits& limits, std::wstring_view line);

// XOR of the characters after the first up to the first "*" (or the end), low 8 bits.
unsigned SentenceChecksum(std::wstring_view line);

// A ddmm.mmmm (or dddmm.mmmm) field in decimal degrees, negative in the southern or
// western hemisphere; `text` empty and `value` 0 when the coordinate pattern does not
// yield degrees and minutes.
struct Coordinate {
    std::wstring text;
    double value = 0;
};
Coordinate ConvertCoordinate(const Pattern& coordinatePattern, std::wstring_view field, bool negative);

}  // namespace tarnhollow
