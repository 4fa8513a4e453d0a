// Formatting access log lines.
#include "http/AccessLog.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "http/PercentEncoding.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr std::array<std::string_view, 3> kSecretNameParts = {"pass", "pwd", "secret"};
constexpr char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsSecretName(std::wstring_view rawName) {
    std::string name = WideToAnsi(UrlDecode(rawName, true));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return std::any_of(kSecretNameParts.begin(), kSecretNameParts.end(),
                       [&](std::string_view part) { return name.find(part) != std::string::npos; });
}

// Quoted fields carry what the client sent: quotes, backslashes and every byte outside
// printable ASCII are escaped, so no line can be forged or broken by a request.
void AppendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

void AppendField(std::string& out, std::wstring_view value) {
    if (value.empty()) {
        out += '-';
        return;
    }
    AppendEscaped(out, WideToAnsi(value));
}

// An absolute URL's user information ("user:password@") becomes "*@".
std::string MaskedUserInfo(std::string url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const size_t hostStart = scheme + 3;
    const size_t hostEnd = std::min(url.find_first_of("/?#", hostStart), url.size());
    const size_t at = url.rfind('@', hostEnd);
    if (at == std::string::npos || at < hostStart) return url;
    return url.substr(0, hostStart) + "*" + url.substr(at);
}

// A URL from a header (the Referer), with its query masked as the request's is.
std::string MaskedUrl(std::wstring_view url) {
    const size_t question = url.find(L'?');
    if (question == std::wstring_view::npos) return MaskedUserInfo(WideToAnsi(url));
    const size_t hash = std::min(url.find(L'#', question), url.size());
    return MaskedUserInfo(WideToAnsi(url.substr(0, question))) + '?' +
           MaskedQuery(url.substr(question + 1, hash - question - 1)) + WideToAnsi(url.substr(hash));
}

}  // namespace

std::string MaskedQuery(std::wstring_view rawQuery) {
    std::string out;
    size_t at = 0;
    while (at <= rawQuery.size()) {
        size_t end = rawQuery.find(L'&', at);
        if (end == std::wstring_view::npos) end = rawQuery.size();
        const std::wstring_view pair = rawQuery.substr(at, end - at);
        const size_t equals = pair.find(L'=');
        if (equals != std::wstring_view::npos && IsSecretName(pair.substr(0, equals))) {
            out += WideToAnsi(pair.substr(0, equals + 1));
            out += '*';
        } else {
            out += WideToAnsi(pair);
        }
        if (end == rawQuery.size()) break;
        out += '&';
        at = end + 1;
    }
    return out;
}

std::string FormatAccessLine(const CRequest& request, long long bodyBytes, std::time_t when) {
    std::string line;
    line.reserve(256);
    line += request.peerAddress.empty() ? "-" : WideToAnsi(request.peerAddress);
    line += " - ";
    AppendField(line, request.authenticatedUser);
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char date[40];
    std::snprintf(date, sizeof date, " [%02d/%s/%04d:%02d:%02d:%02d +0000] \"", utc.tm_mday, kMonths[utc.tm_mon % 12],
                  utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    line += date;
    std::string requestLine = WideToAnsi(request.method);
    if (!request.method.empty() || !request.urlPath.empty()) {
        requestLine += ' ';
        // The path as a link would carry it; the query without the values of secrets.
        AppendPercentEncoded(requestLine, MaskedUserInfo(WideToAnsi(request.urlPath)), PercentSet::Link);
        if (!request.rawQuery.empty()) requestLine += '?' + MaskedQuery(request.rawQuery);
        if (!request.version.empty()) requestLine += ' ' + WideToAnsi(request.version);
    }
    AppendEscaped(line, requestLine);
    line += "\" ";
    line += request.status >= 4000 ? std::to_string(request.status - 4000) : "-";
    line += ' ';
    line += bodyBytes > 0 ? std::to_string(bodyBytes) : "-";
    line += " \"";
    const std::wstring referer = GetHeader(request, L"Referer");
    if (referer.empty()) {
        line += '-';
    } else {
        AppendEscaped(line, MaskedUrl(referer));
    }
    line += "\" \"";
    AppendField(line, GetHeader(request, L"User-Agent"));
    line += "\"\n";
    return line;
}

}  // namespace tarnhollow
