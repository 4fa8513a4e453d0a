// Parsing of the request line, header lines, URLs and query strings.
#include "http/Request.h"

#include <cwctype>
#include <limits>

#include "platform/TextConvert.h"

namespace tarnhollow {

bool IsSpace(wchar_t c) {
    if (c == L' ' || (c >= L'\t' && c <= L'\r')) return true;
    // The byte-widening rule maps 0x80-0xFF to U+FF80-U+FFFF; none of those is a space,
    // while the Unicode spaces below are.
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::wstring_view TrimLeft(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    return text.substr(i);
}

std::wstring_view TrimRight(std::wstring_view text) {
    size_t n = text.size();
    while (n > 0 && IsSpace(text[n - 1])) --n;
    return text.substr(0, n);
}

long long ParseSignedDecimal(std::wstring_view text) {
    text = TrimLeft(text);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    constexpr long long kMax = std::numeric_limits<long long>::max() / 10 - 10;
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (value < kMax) value = value * 10 + (text[i] - L'0');
    }
    return negative ? -value : value;
}

std::wstring UrlDecode(std::wstring_view text, bool plusAsSpace) {
    std::string bytes = WideToAnsi(text);
    if (plusAsSpace) {
        for (char& c : bytes) {
            if (c == '+') c = ' ';
        }
    }
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%') {
            out += bytes[i];
            continue;
        }
        if (i + 1 < bytes.size() && bytes[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // A "%" not followed by two hexadecimal digits stays a literal "%".
        int high = i + 2 < bytes.size() ? HexDigitValue(bytes[i + 1]) : -1;
        int low = i + 2 < bytes.size() ? HexDigitValue(bytes[i + 2]) : -1;
        if (high < 0 || low < 0) {
            out += '%';
            continue;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return AnsiToWide(out);
}

void ParseQuery(std::wstring_view query, std::map<std::wstring, std::wstring>& parameters) {
    size_t position = 0;
    while (position < query.size()) {
        size_t equals = query.find(L'=', position);
        if (equals == std::wstring_view::npos) return;
        std::wstring name(query.substr(position, equals - position));
        size_t amp = query.find(L'&', equals + 1);
        size_t end = amp == std::wstring_view::npos ? query.size() : amp;
        parameters[name] = UrlDecode(query.substr(equals + 1, end - equals - 1), true);
        if (amp == std::wstring_view::npos) return;
        position = amp + 1;
    }
}

std::wstring GetHeader(const CRequest& request, std::wstring_view name) {
    auto it = request.headers.find(AsciiLowerCase(name));
    return it == request.headers.end() ? std::wstring() : it->second;
}

void ParseLine(CRequest& request, ReadState& state, std::wstring_view line) {
    if (state == ReadState::RequestLine) {
        state = ReadState::Headers;
        size_t space = line.find(L' ');
        if (space == std::wstring_view::npos) return;
        request.method = std::wstring(line.substr(0, space));
        std::wstring_view rest = TrimLeft(line.substr(space + 1));
        std::wstring_view url;
        size_t second = rest.find(L' ');
        if (second == std::wstring_view::npos) {
            url = TrimRight(rest);
        } else {
            url = rest.substr(0, second);
            request.version = std::wstring(TrimLeft(rest.substr(second + 1)));
        }
        size_t question = url.find(L'?');
        if (question != std::wstring_view::npos) {
            request.rawQuery = std::wstring(url.substr(question + 1));
            url = url.substr(0, question);
            ParseQuery(request.rawQuery, request.parameters);
        }
        request.urlPath = UrlDecode(url, false);
        return;
    }
    if (state == ReadState::Headers) {
        size_t colon = line.find(L':');
        if (colon == std::wstring_view::npos) return;
        request.headers[AsciiLowerCase(line.substr(0, colon))] = std::wstring(TrimLeft(line.substr(colon + 1)));
    }
}

}  // namespace tarnhollow
