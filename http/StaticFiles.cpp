// Mapping URLs to the document root and serving plain files and built-in resources.
#include "http/StaticFiles.h"

#include <unistd.h>

#include <vector>

#include "http/MimeTypes.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr unsigned kStringDefaultDocuments = 3001;
constexpr unsigned kStringDefaultPrograms = 3002;

struct BuiltinResource {
    const wchar_t* path;
    const wchar_t* type;
};

constexpr BuiltinResource kBuiltins[] = {
    {L"/file.gif", L"image/gif"},
    {L"/folder.gif", L"image/gif"},
    {L"/blue-ball-small.gif", L"image/gif"},
    {L"/styles.css", L"text/css"},
};

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// A path below the document root is hidden when any component after the root begins
// with ".".
bool IsHiddenBelowRoot(std::wstring_view root, std::wstring_view path) {
    if (path.size() <= root.size()) return false;
    for (size_t i = root.size(); i + 1 < path.size(); ++i) {
        if (path[i] == L'/' && path[i + 1] == L'.') return true;
    }
    return false;
}

int PathAttributes(const CRequest& request, const std::wstring& path) {
    int attributes = FileAttributes(WideToAnsi(path));
    if (attributes >= 0 && IsHiddenBelowRoot(request.server->documentRoot, path)) attributes |= kAttributeHidden;
    return attributes;
}

// Appends the line-feed separated entries of a string-table list.
void AppendLines(const std::string& text, std::vector<std::string>& lines) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// Default documents, then default programs, and where the programs begin.
struct DefaultNames {
    std::vector<std::string> wanted;
    size_t documents = 0;
};

// Read from the string table once; it does not change while the program runs.
const DefaultNames& Defaults() {
    static const DefaultNames names = [] {
        DefaultNames n;
        AppendLines(LoadStringBytes(kStringDefaultDocuments), n.wanted);
        n.documents = n.wanted.size();
        AppendLines(LoadStringBytes(kStringDefaultPrograms), n.wanted);
        return n;
    }();
    return names;
}

void Redirect(CRequest& request, unsigned id, const std::wstring& location) {
    WriteStatus(request, id);
    WriteHeader(request, L"Location", PercentEncode(location));
    EndHeaders(request);
}

}  // namespace

bool ServeBuiltin(CRequest& request) {
    for (const BuiltinResource& builtin : kBuiltins) {
        if (request.urlPath != builtin.path) continue;
        auto bytes = FindResource("CONTENT", WideToAnsi(builtin.path));
        if (!bytes) {
            WriteError(request, kStatusNotFound);
            return true;
        }
        WriteStatus(request, kStatusOk);
        WriteHeader(request, L"Content-Type", builtin.type);
        WriteHeader(request, L"Last-Modified", FormatHttpDate());
        WriteHeader(request, L"Expires", FormatHttpDate(std::nullopt, 86400));
        WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(bytes->size()));
        EndHeaders(request);
        request.response->buffer.AppendBytes(*bytes);
        return true;
    }
    return false;
}

std::wstring CanonicalPath(std::wstring_view text) {
    std::vector<std::wstring_view> parts;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i])) ++i;
        size_t start = i;
        while (i < text.size() && !IsSeparator(text[i])) ++i;
        if (i == start) break;
        std::wstring_view part = text.substr(start, i - start);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    std::wstring out;
    if (!text.empty() && IsSeparator(text.front())) out += L'/';
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out += L'/';
        out += parts[k];
    }
    if (!text.empty() && IsSeparator(text.back()) && !(out.size() == 1 && out[0] == L'/')) out += L'/';
    return out;
}

void MapUrl(CRequest& request) {
    const std::wstring& root = request.server->documentRoot;
    // A NUL would cut the file name short when it reaches the file system.
    if (request.urlPath.find(L'\0') != std::wstring::npos) {
        WriteError(request, kStatusBadRequest);
        return;
    }
    std::wstring canonical = CanonicalPath(root + request.urlPath);
    const bool inside = canonical.compare(0, root.size(), root) == 0 &&
                        (canonical.size() == root.size() || canonical[root.size()] == L'/');
    if (!inside) {
        WriteError(request, kStatusBadRequest);
        return;
    }
    request.attributes = PathAttributes(request, canonical);
    if (request.attributes < 0) {
        if (canonical == root + L"/") {
            request.attributes = kAttributeFolder;
            request.filePath = root;
            return;
        }
        // The nearest existing ancestor decides: a file serves the URL (the rest of the
        // URL is ignored), a folder means nothing is there.
        std::wstring path = canonical;
        if (!path.empty() && path.back() == L'/') path.pop_back();
        while (request.attributes < 0) {
            size_t slash = path.rfind(L'/');
            if (slash == std::wstring::npos || slash < root.size()) break;
            path.resize(slash);
            request.attributes = PathAttributes(request, path);
        }
        if (request.attributes < 0 || (request.attributes & kAttributeFolder)) {
            request.attributes = -1;
            WriteError(request, kStatusNotFound);
            return;
        }
        canonical = path;
    }
    const bool folder = request.attributes & kAttributeFolder;
    if (folder && (canonical.empty() || canonical.back() != L'/')) {
        Redirect(request, kStatusMovedPermanently, request.urlPath + L"/");
        return;
    }
    request.filePath = canonical;
    if (!request.filePath.empty() && request.filePath.back() == L'/') request.filePath.pop_back();
    if (!folder) return;

    std::wstring base = request.urlPath;
    if (base.empty() || base.back() != L'/') base += L'/';
    // Default documents come before default programs; names match ignoring case, and
    // the redirect names the file as it is on disk, so it leads to a file that exists.
    const DefaultNames& names = Defaults();
    if (auto found = FindFileIgnoringCase(WideToAnsi(request.filePath), names.wanted)) {
        const bool program = found->first >= names.documents;
        Redirect(request, kStatusRedirection, base + AnsiToWide(found->second) + (program ? L"?" : L""));
    }
}

bool PrepareFile(CRequest& request) {
    if (request.attributes & kAttributeHidden) {
        WriteStatus(request, kStatusOk);
        EndHeaders(request);
        request.response->buffer.AppendBytes(kHiddenFilesMessage);
        return false;
    }
    if (request.attributes & kAttributeFolder) {
        if (request.server->directoryListing) return true;
        WriteError(request, kStatusForbidden);
        return false;
    }
    request.response->file = OpenForReading(WideToAnsi(request.filePath), &request.response->fileInfo);
    if (!request.response->file.IsOpen()) {
        WriteError(request, kStatusServiceUnavailable);
        return false;
    }
    std::wstring since = GetHeader(request, L"If-Modified-Since");
    if (!IsTextFile(request) && !since.empty()) {
        auto date = ParseHttpDate(since);
        if (date && request.response->fileInfo.lastWriteTime <= *date) {
            WriteStatus(request, kStatusNotModified);
            EndHeaders(request);
            request.response->file.Reset();
            return false;
        }
    }
    WriteStatus(request, kStatusOk);
    WriteContentType(request);
    return true;
}

void WriteLastModified(CRequest& request) {
    WriteHeader(request, L"Last-Modified", FormatHttpDate(request.response->fileInfo.lastWriteTime));
}

void StreamFile(CRequest& request) {
    ResponseSink& out = *request.response;
    const long long size = out.fileInfo.size;
    WriteHeaderNumber(request, L"Content-Length", size);
    EndHeaders(request);
    IoBuffer& buffer = out.buffer;
    const size_t room = buffer.LogicalSize() > buffer.Pending() ? buffer.LogicalSize() - buffer.Pending() : 0;
    long n = room ? ReadSome(out.file.Get(), buffer.Data() + buffer.Pending(), room) : 0;
    if (n > 0) {
        buffer.SetPending(buffer.Pending() + static_cast<size_t>(n));
        // A file that fitted whole needs no streaming.
        if (static_cast<long long>(n) >= size) out.file.Reset();
    } else if (room) {
        out.file.Reset();
    }
}

void WriteBody(CRequest& request) {
    if (request.server->router) {
        request.server->router->Route(request);
        return;
    }
    if (!request.response->file.IsOpen()) {
        // Without the pages layer there is nothing that lists a folder.
        if (request.attributes >= 0 && (request.attributes & kAttributeFolder)) {
            WriteError(request, kStatusNotFound);
        } else {
            EndHeaders(request);
        }
        return;
    }
    WriteLastModified(request);
    StreamFile(request);
}

bool IsDefaultDocumentName(std::wstring_view name) {
    const DefaultNames& names = Defaults();
    const std::string bytes = WideToAnsi(name);
    for (size_t i = 0; i < names.documents; ++i) {
        if (AsciiLowerCase(bytes) == AsciiLowerCase(names.wanted[i])) return true;
    }
    return false;
}

bool IsTextFileName(std::wstring_view path) {
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring_view::npos) return false;
    std::wstring_view extension = path.substr(dot + 1);
    return EqualsIgnoringAsciiCase(extension, L"htm") || EqualsIgnoringAsciiCase(extension, L"html") ||
           EqualsIgnoringAsciiCase(extension, L"txt");
}

bool IsTextFile(const CRequest& request) { return IsTextFileName(request.filePath); }

std::wstring PercentEncode(std::wstring_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : WideToAnsi(text)) {
        if (c <= 0x20 || c >= 0x80) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return AnsiToWide(out);
}

namespace {

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
    static constexpr const wchar_t* kNames[] = {L"jan", L"feb", L"mar", L"apr", L"may", L"jun",
                                                L"jul", L"aug", L"sep", L"oct", L"nov", L"dec"};
    for (int m = 0; m < 12; ++m) {
        if (EqualsIgnoringAsciiCase(text.substr(from, 3), kNames[m])) return m;
    }
    return std::nullopt;
}

}  // namespace

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
