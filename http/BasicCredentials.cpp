// Decoding Basic credentials.
#include "http/BasicCredentials.h"

namespace tarnhollow {

namespace {

int Base64Value(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return c - L'A';
    if (c >= L'a' && c <= L'z') return c - L'a' + 26;
    if (c >= L'0' && c <= L'9') return c - L'0' + 52;
    if (c == L'+') return 62;
    if (c == L'/') return 63;
    return -1;
}

std::optional<std::string> DecodeBase64(std::wstring_view text) {
    while (!text.empty() && text.back() == L'=') text.remove_suffix(1);
    // One character left over carries fewer than 8 bits: not base64.
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned bits = 0;
    int count = 0;
    for (wchar_t c : text) {
        const int value = Base64Value(c);
        if (value < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::optional<BasicCredentials> ParseBasicCredentials(std::wstring_view header) {
    while (!header.empty() && IsBlank(header.front())) header.remove_prefix(1);
    while (!header.empty() && IsBlank(header.back())) header.remove_suffix(1);
    constexpr std::wstring_view kScheme = L"basic";
    if (header.size() <= kScheme.size()) return std::nullopt;
    for (size_t i = 0; i < kScheme.size(); ++i) {
        wchar_t c = header[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != kScheme[i]) return std::nullopt;
    }
    header.remove_prefix(kScheme.size());
    if (!IsBlank(header.front())) return std::nullopt;
    while (!header.empty() && IsBlank(header.front())) header.remove_prefix(1);
    auto decoded = DecodeBase64(header);
    if (!decoded || decoded->find('\0') != std::string::npos) return std::nullopt;
    const size_t colon = decoded->find(':');
    if (colon == std::string::npos) return std::nullopt;
    BasicCredentials credentials;
    credentials.user = decoded->substr(0, colon);
    credentials.password = decoded->substr(colon + 1);
    return credentials;
}

}  // namespace tarnhollow
