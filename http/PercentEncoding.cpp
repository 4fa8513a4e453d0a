// The two byte sets of percent-encoding and the one encoder that uses them.
#include "http/PercentEncoding.h"

#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool NeedsEncoding(unsigned char c, PercentSet set) {
    if (c <= 0x20 || c >= 0x80) return true;
    if (set == PercentSet::ControlAndHigh) return false;
    switch (c) {
        case 0x7F: case '"': case '#': case '%': case '&': case '\'': case '<': case '>': case '?': case '\\':
            return true;
        default:
            return false;
    }
}

}  // namespace

void AppendPercentEncoded(std::string& out, std::string_view bytes, PercentSet set) {
    size_t done = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (!NeedsEncoding(c, set)) continue;
        out.append(bytes, done, i - done);
        const char escaped[] = {'%', kHexDigits[c >> 4], kHexDigits[c & 15]};
        out.append(escaped, sizeof escaped);
        done = i + 1;
    }
    out.append(bytes, done, std::string_view::npos);
}

std::wstring PercentEncode(std::wstring_view text, PercentSet set) {
    std::string out;
    AppendPercentEncoded(out, WideToAnsi(text), set);
    return AnsiToWide(out);
}

}  // namespace tarnhollow
