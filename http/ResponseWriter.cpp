// Writing status lines, headers, error responses and dates into the send buffer.
#include "http/ResponseWriter.h"

#include <string>

#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

void Append(CRequest& request, std::wstring_view text) { request.response->buffer.AppendText(text); }

// The day and month names are English whatever the process locale says.
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string FormatTime(const std::string& format, const std::tm& tm) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        char field[16];
        switch (format[++i]) {
            case 'a': out += kDays[tm.tm_wday % 7]; continue;
            case 'b': out += kMonths[tm.tm_mon % 12]; continue;
            case 'd': std::snprintf(field, sizeof field, "%02d", tm.tm_mday); break;
            case 'Y': std::snprintf(field, sizeof field, "%04d", tm.tm_year + 1900); break;
            case 'H': std::snprintf(field, sizeof field, "%02d", tm.tm_hour); break;
            case 'M': std::snprintf(field, sizeof field, "%02d", tm.tm_min); break;
            case 'S': std::snprintf(field, sizeof field, "%02d", tm.tm_sec); break;
            case '%': out += '%'; continue;
            default: out += '%'; out += format[i]; continue;
        }
        out += field;
    }
    return out;
}

}  // namespace

void WriteStatus(CRequest& request, unsigned id) {
    request.status = id;
    Append(request, L"HTTP/1.0 ");
    Append(request, LoadString(id));
    Append(request, L"\r\n");
    std::wstring token = LoadString(kStringServerToken);
    if (!token.empty()) WriteHeader(request, L"Server", token);
    WriteHeader(request, L"Date", FormatHttpDate());
}

void WriteHeader(CRequest& request, std::wstring_view name, std::wstring_view value) {
    std::wstring line;
    line.reserve(name.size() + value.size() + 4);
    line.append(name).append(L": ").append(value).append(L"\r\n");
    Append(request, line);
}

void WriteHeaderNumber(CRequest& request, std::wstring_view name, long long n) {
    WriteHeader(request, name, std::to_wstring(n));
}

void EndHeaders(CRequest& request) { Append(request, L"\r\n"); }

void WriteError(CRequest& request, unsigned id) {
    WriteStatus(request, id);
    EndHeaders(request);
    Append(request, LoadString(id));
}

std::wstring FormatHttpDate(std::optional<std::time_t> time, long long offsetSeconds) {
    std::time_t t = time ? *time : std::time(nullptr);
    t += static_cast<std::time_t>(offsetSeconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return std::wstring();
    std::string text = FormatTime(LoadStringBytes(kStringDateFormat), tm);
    if (text.size() > 127) text.resize(127);
    return AnsiToWide(text);
}

}  // namespace tarnhollow
