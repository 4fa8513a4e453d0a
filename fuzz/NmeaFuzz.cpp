// libFuzzer target for what a receiver sends: arbitrary bytes in arbitrary reads go
// through line splitting and sentence extraction with the default patterns; every
// line handed on must be a whole line, the waiting text stays bounded, and every fix's
// texts must be safe to set into a page.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "gps/GpsFix.h"
#include "gps/GpsSettings.h"
#include "gps/NmeaLines.h"
#include "gps/NmeaSentence.h"

namespace {

using namespace tarnhollow;

const NmeaPatterns& Patterns() {
    static const NmeaPatterns patterns = [] {
        NmeaPatterns compiled;
        FuzzCheck(compiled.Compile(kDefaultGgaPattern, kDefaultCoordinatePattern, kDefaultTimePattern));
        return compiled;
    }();
    return patterns;
}

void CheckLine(std::wstring_view line) {
    const size_t firstBreak = line.find_first_of(L"\r\n");
    FuzzCheck(firstBreak != std::wstring_view::npos && firstBreak > 0);
    FuzzCheck(line.find_first_not_of(L"\r\n", firstBreak) == std::wstring_view::npos);
    const SentenceOutcome outcome = ExtractSentence(Patterns(), FixLimits{}, line);
    if (outcome.kind != SentenceOutcome::Kind::Fix) return;
    for (const std::wstring* text : {&outcome.timeText, &outcome.longitudeText, &outcome.latitudeText}) {
        FuzzCheck(PlainGpsText(*text) == *text);
    }
}

}  // namespace

// Input: reads separated by 0xFF bytes (which a receiver's ASCII never holds).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    NmeaLines lines;
    while (!input.empty()) {
        const size_t end = std::min(input.find('\xff'), input.size());
        lines.Feed(input.substr(0, end), CheckLine);
        FuzzCheck(lines.Pending().size() <= kMaxPendingChars);
        input.remove_prefix(std::min(end + 1, input.size()));
    }
    return 0;
}
