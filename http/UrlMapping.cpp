// Mapping URLs into the document root: canonical paths, the hidden and containment
// rules (for the name asked for and for where a symbolic link leads), and the
// redirects of folder URLs.
#include "http/UrlMapping.h"

#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include "http/DefaultDocuments.h"
#include "http/PercentEncoding.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "platform/File.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

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

struct OnDisk {
    // Empty when the path itself was found and no symbolic link was on the way.
    std::string resolved;
    int attributes = -1;
    // The regular file found, already open, and what it is.
    UniqueFd file;
    FileInfo info;
};

// The file or folder a canonical path inside the root names, as its resolved path and
// attributes; the nearest existing ancestor decides when the path itself does not
// exist: a file serves the URL (the rest of the URL is ignored), a folder means nothing
// is there (nullopt). The usual case costs one open: a path without symbolic links
// needs no resolving. Otherwise it is linear in the path's length: the error of one
// status query tells a missing name (nothing is there) from a file met on the way, and
// only then is the path walked down from the root, stopping at the first name that is
// not a folder.
std::optional<OnDisk> FindOnDisk(const std::string& root, const std::string& path) {
    OnDisk onDisk;
    int error = 0;
    if (UniqueFd opened = OpenWithoutLinks(path, &error); opened.IsOpen()) {
        bool regular = false;
        onDisk.attributes = DescriptorAttributes(opened.Get(), onDisk.info, regular);
        if (onDisk.attributes >= 0) {
            if (regular) onDisk.file = std::move(opened);
            return onDisk;
        }
    }
    if (error == ENOENT) return std::nullopt;
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
    onDisk.resolved = std::move(*resolved);
    onDisk.attributes = attributes;
    return onDisk;
}

// `suffix` is appended as it is: the "?" that marks a default program.
void Redirect(CRequest& request, unsigned id, std::wstring_view path, std::wstring_view suffix = {}) {
    WriteStatus(request, id);
    WriteHeader(request, L"Location", PercentEncode(path, PercentSet::Link) + std::wstring(suffix));
    EndHeaders(request);
}

}  // namespace

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
    const std::wstring resolved = found->resolved.empty() ? canonical : AnsiToWide(found->resolved);
    request.attributes = found->attributes;
    // The hidden and containment rules hold for where a symbolic link leads as well as
    // for the name that was asked for: a link is no way around them.
    const bool hidden = IsHiddenBelowRoot(root, canonical) || !MayLeadTo(root, resolved);
    if (hidden) {
        // The hidden answer comes before any redirect, so that it tells nothing of what
        // a hidden folder holds.
        request.attributes |= kAttributeHidden;
        request.filePath = canonical;
        return;
    }
    request.filePath = resolved == L"/" ? std::wstring() : resolved;
    request.mappedFile = std::move(found->file);
    request.mappedFileInfo = found->info;
    const bool folder = request.attributes & kAttributeFolder;
    if (!folder) return;
    if (request.urlPath.empty() || request.urlPath.back() != L'/') {
        Redirect(request, kStatusMovedPermanently, request.urlPath + L"/");
        return;
    }
    // Default documents come before default programs; names match ignoring case, and
    // the redirect names the file as it is on disk, so it leads to a file that exists.
    const std::string folderPath = WideToAnsi(request.filePath);
    auto names = ReadFolderNames(folderPath);
    if (!names) return;
    if (auto file = FindDefaultFile(folderPath, *names)) {
        Redirect(request, kStatusRedirection, request.urlPath + AnsiToWide(file->name), file->program ? L"?" : L"");
        return;
    }
    // Kept for the listing, which then need not read a large folder a second time.
    request.folderNames = std::move(names);
}

bool MayLeadTo(std::wstring_view root, std::wstring_view resolved) {
    return IsInside(root, resolved) && !IsHiddenBelowRoot(root, resolved);
}

std::wstring MappedUrlPath(const CRequest& request) {
    if (!request.server) return request.urlPath;
    const std::wstring& root = request.server->documentRoot;
    const std::wstring& path = request.filePath;
    if (!IsInside(root, path)) return request.urlPath;
    const std::wstring relative = path.substr(root.size());
    return relative.empty() ? L"/" : relative;
}

}  // namespace tarnhollow
