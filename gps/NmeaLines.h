// Received bytes cut into lines: what a read brought is appended to the text still
// waiting for its line break, and every complete line is handed on.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tarnhollow {

// An NMEA sentence is at most 82 characters; a run this long without a line break is
// not one, and is dropped so that a receiver sending no line breaks cannot grow it.
inline constexpr size_t kMaxPendingChars = 8192;

class NmeaLines {
public:
    using LineHandler = std::function<void(std::wstring_view line)>;

    // Appends `bytes` (up to the first zero byte) as UTF-8 to the waiting text. Each
    // line, a run of characters other than CR and LF that a CR or LF follows, is passed
    // to `onLine` together with the line-break characters after it; runs of CR and LF
    // alone are skipped. True when at least one complete line was handled.
    bool Feed(std::string_view bytes, const LineHandler& onLine);

    const std::wstring& Pending() const { return pending_; }

private:
    std::wstring pending_;
};

}  // namespace tarnhollow
