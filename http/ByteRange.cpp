// Parsing the Range header of a file request.
#include "http/ByteRange.h"

#include <limits>
#include <optional>

namespace tarnhollow {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Digits only; nullopt when empty, not all digits, or past what a file offset holds.
std::optional<long long> Number(std::wstring_view text) {
    if (text.empty()) return std::nullopt;
    long long n = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const int digit = c - L'0';
        if (n > (std::numeric_limits<long long>::max() - digit) / 10) return std::nullopt;
        n = n * 10 + digit;
    }
    return n;
}

bool EqualsBytesUnit(std::wstring_view unit) {
    constexpr std::wstring_view kBytes = L"bytes";
    if (unit.size() != kBytes.size()) return false;
    for (size_t i = 0; i < unit.size(); ++i) {
        wchar_t c = unit[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != kBytes[i]) return false;
    }
    return true;
}

}  // namespace

ByteRange ParseByteRange(std::wstring_view header, long long size) {
    ByteRange whole;
    const size_t equals = header.find(L'=');
    if (equals == std::wstring_view::npos || !EqualsBytesUnit(Trim(header.substr(0, equals)))) return whole;
    const std::wstring_view rangeText = Trim(header.substr(equals + 1));
    // Several ranges would need a multipart answer; the whole file serves them all.
    if (rangeText.find(L',') != std::wstring_view::npos) return whole;
    const size_t dash = rangeText.find(L'-');
    if (dash == std::wstring_view::npos) return whole;
    const std::wstring_view firstText = Trim(rangeText.substr(0, dash));
    const std::wstring_view lastText = Trim(rangeText.substr(dash + 1));
    ByteRange range;
    if (firstText.empty()) {
        const auto suffix = Number(lastText);
        if (!suffix) return whole;
        if (*suffix == 0 || size == 0) {
            range.kind = ByteRange::Kind::Unsatisfiable;
            return range;
        }
        range.kind = ByteRange::Kind::Partial;
        range.first = *suffix >= size ? 0 : size - *suffix;
        range.last = size - 1;
        return range;
    }
    const auto first = Number(firstText);
    if (!first) return whole;
    long long last = std::numeric_limits<long long>::max();
    if (!lastText.empty()) {
        const auto given = Number(lastText);
        if (!given || *given < *first) return whole;
        last = *given;
    }
    if (*first >= size) {
        range.kind = ByteRange::Kind::Unsatisfiable;
        return range;
    }
    range.kind = ByteRange::Kind::Partial;
    range.first = *first;
    range.last = last >= size ? size - 1 : last;
    return range;
}

}  // namespace tarnhollow
