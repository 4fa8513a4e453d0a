// Locale-independent decimal parsing and formatting through <charconv>.
#include "gps/GpsNumbers.h"

#include <charconv>
#include <cmath>

#include "http/Request.h"

namespace tarnhollow {

namespace {

constexpr int kCoordinateDigits = 10;

}  // namespace

double ParseDecimalNumber(std::wstring_view text) {
    text = TrimLeft(text);
    std::string ascii;
    bool negative = false;
    if (!text.empty() && (text[0] == L'+' || text[0] == L'-')) {
        negative = text[0] == L'-';
        text.remove_prefix(1);
    }
    // from_chars reads ASCII only; the first other character ends the number anyway.
    for (wchar_t c : text) {
        if (c <= 0 || c >= 0x7F) break;
        ascii += static_cast<char>(c);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value,
                                              std::chars_format::general);
    if (error != std::errc() || !std::isfinite(value)) return 0;
    return negative ? -value : value;
}

std::wstring FormatCoordinate(double value) {
    if (value == 0) value = 0;  // no "-0"
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, kCoordinateDigits);
    if (error != std::errc()) return L"0";
    return std::wstring(buffer, end);
}

std::string FormatSixDecimals(double value) {
    // The largest doubles need 309 digits before the point.
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (error != std::errc()) return "0.000000";
    return std::string(buffer, end);
}

}  // namespace tarnhollow
