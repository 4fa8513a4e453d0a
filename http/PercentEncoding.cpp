// The two byte sets of percent-encoding and the one encoder that uses them.
#include "http/PercentEncoding.h"

#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Which bytes each set encodes, one table per set: a listing encodes every name of a
// large folder, and a table look-up per byte is what that costs.
struct EncodedBytes {
    bool controlAndHigh[256];
    bool link[256];
};

constexpr EncodedBytes MakeEncodedBytes() {
    EncodedBytes sets{};
    for (int c = 0; c < 256; ++c) {
        sets.controlAndHigh[c] = c <= 0x20 || c >= 0x80;
        switch (c) {
            case 0x7F: case '"': case '#': case '%': case '&': case '\'': case '<': case '>': case '?': case '\\':
                sets.link[c] = true;
                break;
            default:
                sets.link[c] = sets.controlAndHigh[c];
        }
    }
    return sets;
}

constexpr EncodedBytes kEncodedBytes = MakeEncodedBytes();

const bool* EncodedBy(PercentSet set) {
    return set == PercentSet::Link ? kEncodedBytes.link : kEncodedBytes.controlAndHigh;
}

}  // namespace

bool StaysAsIs(std::string_view bytes, PercentSet set) {
    const bool* encoded = EncodedBy(set);
    for (const char c : bytes) {
        if (encoded[static_cast<unsigned char>(c)]) return false;
    }
    return true;
}

void AppendPercentEncoded(std::string& out, std::string_view bytes, PercentSet set) {
    const bool* encoded = EncodedBy(set);
    size_t done = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (!encoded[c]) continue;
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
