// The character rule for GPS texts shown in pages.
#include "gps/GpsFix.h"

namespace tarnhollow {

std::wstring PlainGpsText(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        // Controls (C0, DEL, C1) and the line separators that end a script's line.
        const bool printable = (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c != 0x2028 && c != 0x2029);
        if (!printable || std::wstring_view(L"\"&'<>\\`").find(c) != std::wstring_view::npos) c = L'?';
    }
    return out;
}

}  // namespace tarnhollow
