// UTF-8 encoding and decoding for the system's wide and 8-bit text, and ASCII letter
// case.
#include "platform/TextConvert.h"

#include <cstdint>

namespace tarnhollow {

std::string WideToAnsi(std::wstring_view text) {
    std::string out;
    AppendAnsi(out, text);
    return out;
}

void AppendAnsi(std::string& out, std::wstring_view text) {
    out.reserve(out.size() + text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) {
                out += '?';
                continue;
            }
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c <= 0x10FFFF) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += '?';
        }
    }
}

std::wstring AnsiToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        int length;
        uint32_t c;
        uint32_t minimum;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2, c = b & 0x1F, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, c = b & 0x0F, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, c = b & 0x07, minimum = 0x10000;
        } else {
            out += L'?';
            ++i;
            continue;
        }
        int k = 1;
        for (; k < length && i + k < n; ++k) {
            const unsigned char cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) break;
            c = (c << 6) | (cont & 0x3F);
        }
        if (k < length || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            // The whole broken sequence, as far as it went, stands for one "?".
            out += L'?';
            i += static_cast<size_t>(k);
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += static_cast<size_t>(length);
    }
    return out;
}

namespace {

// Only ASCII letters have a case here; every other character, in any encoding, is kept.
template <typename Char>
Char AsciiLower(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c + 32) : c;
}

template <typename Char>
std::basic_string<Char> LowerCase(std::basic_string_view<Char> text) {
    std::basic_string<Char> out(text);
    for (Char& c : out) c = AsciiLower(c);
    return out;
}

template <typename Char>
bool EqualsIgnoringCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::wstring AsciiLowerCase(std::wstring_view text) { return LowerCase(text); }

std::string AsciiLowerCase(std::string_view text) { return LowerCase(text); }

std::string AsciiUpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return out;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) { return EqualsIgnoringCase(a, b); }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace tarnhollow
