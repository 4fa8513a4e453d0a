// Line splitting of the receiver's bytes.
#include "gps/NmeaLines.h"

#include <algorithm>

#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr wchar_t kLineBreaks[] = L"\r\n";

}  // namespace

bool NmeaLines::Feed(std::string_view bytes, const LineHandler& onLine) {
    pending_ += AnsiToWide(bytes.substr(0, bytes.find('\0')));
    const std::wstring_view text = pending_;
    bool handled = false;
    size_t done = 0;
    for (;;) {
        const size_t start = text.find_first_not_of(kLineBreaks, done);
        if (start == std::wstring_view::npos) {
            done = text.size();
            break;
        }
        const size_t lineEnd = text.find_first_of(kLineBreaks, start);
        if (lineEnd == std::wstring_view::npos) {
            done = start;
            break;
        }
        const size_t next = std::min(text.find_first_not_of(kLineBreaks, lineEnd), text.size());
        onLine(text.substr(start, next - start));
        handled = true;
        done = next;
    }
    pending_.erase(0, done);
    if (pending_.size() > kMaxPendingChars) pending_.clear();
    return handled;
}

}  // namespace tarnhollow
