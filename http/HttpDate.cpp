// Formatting HTTP dates through the string table's format, in English whatever the
// process locale, and parsing the three date layouts clients send.
#include "http/HttpDate.h"

#include <string>

#include "http/Request.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr unsigned kStringDateFormat = 3020;

// The day and month names are English whatever the process locale says; clients'
// dates name months the same way, in any letter case.
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Appends `value` as at least `width` decimal digits. Dates go out with every file
// answer, so the formatting stays clear of the printf machinery.
void AppendDigits(std::string& out, int value, int width) {
    char digits[12];
    int n = 0;
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < static_cast<int>(sizeof digits));
    while (n < width) digits[n++] = '0';
    while (n > 0) out += digits[--n];
}

std::string FormatTime(const std::string& format, const std::tm& tm) {
    std::string out;
    out.reserve(32);
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        switch (format[++i]) {
            case 'a': out += kDays[tm.tm_wday % 7]; break;
            case 'b': out += kMonths[tm.tm_mon % 12]; break;
            case 'd': AppendDigits(out, tm.tm_mday, 2); break;
            case 'Y': AppendDigits(out, tm.tm_year + 1900, 4); break;
            case 'H': AppendDigits(out, tm.tm_hour, 2); break;
            case 'M': AppendDigits(out, tm.tm_min, 2); break;
            case 'S': AppendDigits(out, tm.tm_sec, 2); break;
            case '%': out += '%'; break;
            default: out += '%'; out += format[i]; break;
        }
    }
    return out;
}

// Reads characters [from, to] of `text` as a left-trimmed decimal number.
std::optional<int> Field(std::wstring_view text, size_t from, size_t to) {
    if (to >= text.size() || from > to) return std::nullopt;
    std::wstring_view field = TrimLeft(text.substr(from, to - from + 1));
    int value = 0;
    for (wchar_t c : field) {
        if (c < L'0' || c > L'9') break;
        value = value * 10 + (c - L'0');
    }
    return value;
}

std::optional<int> Month(std::wstring_view text, size_t from) {
    if (from + 3 > text.size()) return std::nullopt;
    // A character outside ASCII encodes longer than itself, so it matches no name.
    const std::string name = WideToAnsi(text.substr(from, 3));
    for (int m = 0; m < 12; ++m) {
        if (EqualsIgnoringAsciiCase(name, kMonths[m])) return m;
    }
    return std::nullopt;
}

}  // namespace

std::wstring FormatHttpDate(std::optional<std::time_t> time, long long offsetSeconds) {
    std::time_t t = time ? *time : std::time(nullptr);
    t += static_cast<std::time_t>(offsetSeconds);
    // Every answer of the same second carries the same Date, and a file asked for again
    // the same Last-Modified: each kind keeps its own last text, so that a file answer,
    // which writes both, does not format both afresh every time.
    struct Formatted {
        std::time_t time = -1;
        std::wstring text;
    };
    thread_local Formatted current, other;
    Formatted& last = time || offsetSeconds ? other : current;
    if (t == last.time) return last.text;
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return std::wstring();
    std::string text = FormatTime(LoadStringBytes(kStringDateFormat), tm);
    if (text.size() > 127) text.resize(127);
    last.text = AnsiToWide(text);
    last.time = t;
    return last.text;
}

std::optional<std::time_t> ParseHttpDate(std::wstring_view text) {
    if (text.size() < 4) return std::nullopt;
    std::optional<int> day, month, year, hour, minute, second;
    if (text[3] == L' ') {
        month = Month(text, 4);
        day = Field(text, 8, 9);
        hour = Field(text, 11, 12);
        minute = Field(text, 14, 15);
        second = Field(text, 17, 18);
        year = Field(text, 20, 23);
    } else if (text[3] == L',') {
        day = Field(text, 5, 6);
        month = Month(text, 8);
        year = Field(text, 12, 15);
        hour = Field(text, 17, 18);
        minute = Field(text, 20, 21);
        second = Field(text, 23, 24);
    } else {
        size_t p = text.find(L", ");
        if (p == std::wstring_view::npos) return std::nullopt;
        day = Field(text, p + 2, p + 3);
        month = Month(text, p + 5);
        year = Field(text, p + 9, p + 10);
        hour = Field(text, p + 12, p + 13);
        minute = Field(text, p + 15, p + 16);
        second = Field(text, p + 18, p + 19);
        if (year) *year += *year <= 50 ? 2000 : 1900;
    }
    if (!day || !month || !year || !hour || !minute || !second || *year == 0) return std::nullopt;
    std::tm tm{};
    tm.tm_year = *year - 1900;
    tm.tm_mon = *month;
    tm.tm_mday = *day;
    tm.tm_hour = *hour;
    tm.tm_min = *minute;
    tm.tm_sec = *second;
    std::time_t t = timegm(&tm);
    std::tm back{};
    if (t == static_cast<std::time_t>(-1) || !gmtime_r(&t, &back)) return std::nullopt;
    // A date whose fields do not survive the round trip (31 Feb, hour 25) does not parse.
    if (back.tm_year != *year - 1900 || back.tm_mon != *month || back.tm_mday != *day ||
        back.tm_hour != *hour || back.tm_min != *minute) {
        return std::nullopt;
    }
    return t;
}

}  // namespace tarnhollow
