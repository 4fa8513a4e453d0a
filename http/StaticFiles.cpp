// Mapping URLs to the document root and serving plain files and built-in resources.
#include "http/StaticFiles.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <vector>

#include "http/MimeTypes.h"
#include "http/PercentEncoding.h"
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

bool IsInside(std::wstring_view root, std::wstring_view path) {
    return path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == L'/');
}

// The file or folder a canonical path inside the root names, as its resolved path and
// attributes; the nearest existing ancestor decides when the path itself does not
// exist: a file serves the URL (the rest of the URL is ignored), a folder means nothing
// is there (nullopt). Linear in the path's length: the error of one status query tells
// a missing name (nothing is there) from a file met on the way, and only then is the
// path walked down from the root, stopping at the first name that is not a folder.
std::optional<std::pair<std::string, int>> FindOnDisk(const std::string& root, const std::string& path) {
    int error = 0;
    int attributes = FileAttributes(path, &error);
    std::string found = path;
    if (attributes < 0) {
        if (error != ENOTDIR && error != ENAMETOOLONG) return std::nullopt;
        size_t end = root.size();
        attributes = kAttributeFolder;
        while (attributes == kAttributeFolder && end < path.size()) {
            end = path.find('/', end + 1);
            if (end == std::string::npos) end = path.size();
            attributes = FileAttributes(path.substr(0, end));
        }
        if (attributes != kAttributeNormal) return std::nullopt;
        found.resize(end);
    }
    auto resolved = ResolvedPath(found);
    if (!resolved) return std::nullopt;
    return std::make_pair(std::move(*resolved), attributes);
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

// `suffix` is appended as it is: the "?" that marks a default program.
void Redirect(CRequest& request, unsigned id, std::wstring_view path, std::wstring_view suffix = {}) {
    WriteStatus(request, id);
    WriteHeader(request, L"Location", PercentEncode(path, PercentSet::Link) + std::wstring(suffix));
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
        } else if (part != L".") {
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
    if (!IsInside(root, canonical)) {
        WriteError(request, kStatusBadRequest);
        return;
    }
    if (!canonical.empty() && canonical.back() == L'/') canonical.pop_back();
    auto found = FindOnDisk(WideToAnsi(root), WideToAnsi(canonical));
    if (!found) {
        if (canonical == root) {
            // The document root itself is missing: an empty listing, not a 404.
            request.attributes = kAttributeFolder;
            request.filePath = root;
            return;
        }
        WriteError(request, kStatusNotFound);
        return;
    }
    const std::wstring resolved = AnsiToWide(found->first);
    request.attributes = found->second;
    // The hidden and containment rules hold for where a symbolic link leads as well as
    // for the name that was asked for: a link is no way around them.
    const bool hidden = IsHiddenBelowRoot(root, canonical) || !IsInside(root, resolved) ||
                        IsHiddenBelowRoot(root, resolved);
    if (hidden) {
        // The hidden answer comes before any redirect, so that it tells nothing of what
        // a hidden folder holds.
        request.attributes |= kAttributeHidden;
        request.filePath = canonical;
        return;
    }
    request.filePath = resolved == L"/" ? std::wstring() : resolved;
    const bool folder = request.attributes & kAttributeFolder;
    if (!folder) return;
    if (request.urlPath.empty() || request.urlPath.back() != L'/') {
        Redirect(request, kStatusMovedPermanently, request.urlPath + L"/");
        return;
    }
    // Default documents come before default programs; names match ignoring case, and
    // the redirect names the file as it is on disk, so it leads to a file that exists.
    const DefaultNames& names = Defaults();
    if (auto file = FindFileIgnoringCase(WideToAnsi(request.filePath), names.wanted)) {
        const bool program = file->first >= names.documents;
        Redirect(request, kStatusRedirection, request.urlPath + AnsiToWide(file->second), program ? L"?" : L"");
    }
}

std::wstring MappedUrlPath(const CRequest& request) {
    if (!request.server) return request.urlPath;
    const std::wstring& root = request.server->documentRoot;
    const std::wstring& path = request.filePath;
    if (!IsInside(root, path)) return request.urlPath;
    const std::wstring relative = path.substr(root.size());
    return relative.empty() ? L"/" : relative;
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
    out.fileBytesLeft = size;
    const size_t room = static_cast<size_t>(
        std::min<long long>(size, buffer.LogicalSize() > buffer.Pending() ? buffer.LogicalSize() - buffer.Pending() : 0));
    const long n = room ? ReadSome(out.file.Get(), buffer.Data() + buffer.Pending(), room) : 0;
    if (n > 0) {
        buffer.SetPending(buffer.Pending() + static_cast<size_t>(n));
        out.fileBytesLeft -= n;
    }
    // A file that fitted whole needs no streaming; one that cannot be read has no more.
    if (out.fileBytesLeft <= 0 || (room && n <= 0)) out.file.Reset();
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
