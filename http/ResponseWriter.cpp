// Writing status lines, headers and error responses into the send buffer.
#include "http/ResponseWriter.h"

#include <string>

#include "http/HttpDate.h"
#include "platform/Resources.h"

namespace tarnhollow {

namespace {

void Append(CRequest& request, std::wstring_view text) { request.response->buffer.AppendText(text); }

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
    // Written by hand: the library's wide formatting goes through a printf of its own.
    wchar_t digits[24];
    size_t at = sizeof digits / sizeof digits[0];
    unsigned long long magnitude = n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    do {
        digits[--at] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (n < 0) digits[--at] = L'-';
    WriteHeader(request, name, std::wstring_view(digits + at, sizeof digits / sizeof digits[0] - at));
}

void EndHeaders(CRequest& request) { Append(request, L"\r\n"); }

void WriteError(CRequest& request, unsigned id) {
    WriteStatus(request, id);
    EndHeaders(request);
    Append(request, LoadString(id));
}

}  // namespace tarnhollow
