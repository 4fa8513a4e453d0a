// Folder listings: collecting a folder's entries into item lists and rendering them
// through the item elements of a template.
#include "pages/FolderListing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "http/HttpDate.h"
#include "http/PercentEncoding.h"
#include "http/ResponseWriter.h"
#include "http/UrlMapping.h"
#include "pages/HtmlEscape.h"
#include "pages/PageBuilder.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr char kDirectoryTemplate[] = ".dir.demo";

std::wstring_view WithoutExtension(std::wstring_view name) { return name.substr(0, name.rfind(L'.')); }

std::wstring EnsureTrailingSlash(std::wstring path) {
    if (path.empty() || path.back() != L'/') path += L'/';
    return path;
}

// The empty-folder message naming `folderPath`, escaped: a folder's name is text, and
// must not become markup in the page.
std::wstring EmptyFolderMessage(const std::wstring& folderPath) {
    std::wstring message = AnsiToWide(kEmptyFolderMessage);
    const size_t at = message.find(L"%s");
    message.replace(at, 2, EscapeHtml(folderPath));
    return message;
}

// Where the placeholders of one item template stand, found once for all entries.
struct Placeholder {
    size_t at;
    size_t size;
    bool isName;
};

std::vector<Placeholder> FindPlaceholders(std::string_view itemTemplate) {
    constexpr std::string_view kName = "%NAME%";
    constexpr std::string_view kLink = "%LINK%";
    std::vector<Placeholder> found;
    const size_t name = itemTemplate.find(kName);
    size_t link = itemTemplate.find(kLink);
    // A %LINK% that shares characters with the %NAME% before it is not a placeholder.
    if (name != std::string_view::npos && link != std::string_view::npos && link < name + kName.size() &&
        link + kLink.size() > name) {
        link = itemTemplate.find(kLink, name + kName.size());
    }
    if (name != std::string_view::npos) found.push_back({name, kName.size(), true});
    if (link != std::string_view::npos) found.push_back({link, kLink.size(), false});
    if (found.size() == 2 && found[1].at < found[0].at) std::swap(found[0], found[1]);
    return found;
}

struct FolderEntry {
    std::string name;
    bool isFolder;
};

// The entries of a folder in byte-wise name order, "." and ".." left out; none when the
// folder cannot be read. The kind comes from the directory entry where the file system
// records it there, so a folder of thousands of entries costs no status query per
// entry (symbolic links are still followed to what they name).
std::vector<FolderEntry> ReadFolder(const std::string& path) {
    std::vector<FolderEntry> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        std::error_code kindError;
        const bool isFolder = it->is_directory(kindError);
        entries.push_back({it->path().filename().string(), isFolder && !kindError});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

}  // namespace

size_t CollectFolderItems(const std::wstring& folderPath, std::wstring_view urlPath, FolderItems& folders,
                          FolderItems& files, FolderItems& pictures) {
    folders.clear();
    files.clear();
    pictures.clear();
    size_t counted = 0;
    const bool root = urlPath.rfind(L'/') == 0;
    if (!root) folders.push_back({L"..", L".."});

    // A folder that cannot be read has no entries; the empty-folder message says so.
    for (const FolderEntry& entry : ReadFolder(WideToAnsi(folderPath))) {
        const std::string& nameBytes = entry.name;
        // Default documents are counted, so a folder holding only one is not "empty".
        if (StartsWithIgnoringAsciiCase(nameBytes, "index") || StartsWithIgnoringAsciiCase(nameBytes, "default")) {
            ++counted;
            continue;
        }
        if (nameBytes.empty() || nameBytes.front() == '.') continue;
        ++counted;
        std::wstring name = AnsiToWide(nameBytes);
        std::wstring display = EscapeHtml(WithoutExtension(name));
        (entry.isFolder ? folders : files).push_back({std::move(display), PercentEncode(name, PercentSet::Link)});
    }

    if (!root && (!files.empty() || !pictures.empty()) && !folders.empty()) {
        folders.insert(folders.begin(), FolderItem{L".", L"."});
    }
    if (counted == 0) files.push_back({EmptyFolderMessage(folderPath), L"#"});
    return counted;
}

std::string RenderItems(std::string page, std::string_view marker, std::wstring_view folderUrl,
                        const FolderItems& items) {
    // Without the element the page stays as it is.
    auto element = FindElement(page, marker);
    if (!element) return page;
    const std::string itemTemplate = page.substr(element->contentBegin, element->contentEnd - element->contentBegin);
    const std::vector<Placeholder> placeholders = FindPlaceholders(itemTemplate);
    std::string folderLink;
    AppendPercentEncoded(folderLink, WideToAnsi(folderUrl), PercentSet::Link);
    std::string rendered;
    rendered.reserve(items.size() * (itemTemplate.size() + folderLink.size() + 48));
    for (const FolderItem& item : items) {
        size_t done = 0;
        for (const Placeholder& placeholder : placeholders) {
            rendered.append(itemTemplate, done, placeholder.at - done);
            if (placeholder.isName) {
                rendered += WideToAnsi(item.displayName);
            } else {
                rendered += folderLink;
                // Names were encoded as they were collected; the empty-folder item links "#".
                AppendPercentEncoded(rendered, WideToAnsi(item.linkName), PercentSet::ControlAndHigh);
            }
            done = placeholder.at + placeholder.size;
        }
        rendered.append(itemTemplate, done, std::string::npos);
    }
    page.replace(element->open, element->end - element->open, rendered);
    return page;
}

std::string FillFolderItems(const CRequest& request, std::string page, ListingMode mode) {
    std::wstring urlPath = MappedUrlPath(request);
    std::wstring folderPath = request.filePath;
    std::wstring folderUrl;
    if (mode == ListingMode::Folder) {
        urlPath = EnsureTrailingSlash(std::move(urlPath));
        folderUrl = urlPath;
    } else {
        const size_t slash = folderPath.rfind(L'/');
        if (slash != std::wstring::npos) folderPath.resize(slash);
        const size_t urlSlash = urlPath.rfind(L'/');
        folderUrl = EnsureTrailingSlash(urlSlash == std::wstring::npos ? std::wstring() : urlPath.substr(0, urlSlash));
    }
    folderPath = EnsureTrailingSlash(std::move(folderPath));

    FolderItems folders, files, pictures;
    CollectFolderItems(folderPath, urlPath, folders, files, pictures);
    page = RenderItems(std::move(page), "<diritem>", folderUrl, folders);
    page = RenderItems(std::move(page), "<fileitem>", folderUrl, files);
    return RenderItems(std::move(page), "<pictitem>", folderUrl, pictures);
}

void ListFolder(CRequest& request) {
    auto directoryTemplate = FindResource("CONTENT", kDirectoryTemplate);
    if (!directoryTemplate) {
        WriteError(request, kStatusNotFound);
        return;
    }
    std::string page = directoryTemplate->empty() ? std::string(kBuiltinItemTemplate) : std::string(*directoryTemplate);
    page = FillFolderItems(request, std::move(page), ListingMode::Folder);
    WriteStatus(request, kStatusOk);
    WriteHeader(request, L"Content-Type", L"text/html");
    WriteHeader(request, L"Last-Modified", FormatHttpDate());
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(page.size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(page);
}

}  // namespace tarnhollow
