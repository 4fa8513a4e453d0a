// The GPS reader's settings, each read once at construction with its default written
// back when missing: the port template, the logs, the fix filter, the three patterns,
// the previous fix and the NearMe endpoint.
#pragma once

#include <cstdint>
#include <string>

#include "gps/NmeaSentence.h"
#include "gps/TrackFilter.h"

namespace tarnhollow {

inline constexpr wchar_t kDefaultPortTemplate[] = L"/dev/ttyACM%d";
inline constexpr wchar_t kDefaultGgaPattern[] =
    LR"(\$GPGGA,{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},[^,]*?,{[^,]*?},[^\*]+?\*{\h\h})";
inline constexpr wchar_t kDefaultCoordinatePattern[] = LR"({\-?\d?\d\d}{\d\d\.\d+})";
inline constexpr wchar_t kDefaultTimePattern[] = LR"({\d\d}{\d\d}{\d\d}.*)";

struct GpsSettings {
    std::wstring portTemplate;
    // The raw log's file and its size limit in units of 1,000,000 bytes.
    std::string logFileName;
    uint32_t logFileSize = 1;
    uint32_t timeStep = 1500;
    double distanceStep = 0.001;
    FixLimits limits;
    uint32_t maxFixes = 20;
    PreviousFix previous;
    std::wstring ggaPattern;
    std::wstring coordinatePattern;
    std::wstring timePattern;
    std::wstring nearMeUrl;
};

// Reads every value; `stateFolder` (with its trailing "/") holds the default raw log.
GpsSettings ReadGpsSettings(const std::string& stateFolder);

// Stores the previous fix for the next run: its time as a DWORD, the coordinates as
// texts in the coordinate notation.
void WritePreviousFix(const PreviousFix& previous);

}  // namespace tarnhollow
