// Folder listings: collecting a folder's entries into ordered item lists and rendering
// them through the item elements of a template. Names are taken from the file system as
// 8-bit text and stay so: each is made valid text, escaped and encoded once, when it is
// collected, and rendering only copies bytes.
#include "pages/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "http/HttpDate.h"
#include "http/PercentEncoding.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "http/UrlMapping.h"
#include "pages/HtmlEscape.h"
#include "pages/ListingPage.h"
#include "pages/PageBuilder.h"
#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr char kDirectoryTemplate[] = ".dir.demo";
constexpr char kFolderIcon[] = "/folder.gif";
constexpr char kFileIcon[] = "/file.gif";

std::string_view WithoutExtension(std::string_view name) { return name.substr(0, name.rfind('.')); }

std::string EnsureTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::wstring EnsureTrailingSlash(std::wstring path) {
    if (path.empty() || path.back() != L'/') path += L'/';
    return path;
}

// A name as the page shows and links it: UTF-8 stays as it is, and every invalid
// sequence becomes "?", as the server's text conversion makes of it everywhere else.
std::string AsText(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return WideToAnsi(AnsiToWide(bytes));
    }
    return std::string(bytes);
}

// The empty-folder message naming `folderPath`, escaped: a folder's name is text, and
// must not become markup in the page.
std::string EmptyFolderMessage(const std::string& folderPath) {
    std::string message = kEmptyFolderMessage;
    const size_t at = message.find("%s");
    message.replace(at, 2, EscapeHtml(AsText(folderPath)));
    return message;
}

FolderItem FixedItem(std::string displayName, std::string linkName, ItemKind kind) {
    FolderItem item;
    item.fileName = displayName;
    item.displayName = std::move(displayName);
    item.linkName = std::move(linkName);
    item.kind = kind;
    return item;
}

enum class Field { Name, Link, File, Size, Bytes, Date, Icon };

struct PlaceholderKind {
    std::string_view text;
    Field field;
};

// In order of precedence: where two placeholders would share characters, the earlier
// kind takes them.
constexpr PlaceholderKind kPlaceholderKinds[] = {
    {"%NAME%", Field::Name}, {"%LINK%", Field::Link},   {"%FILE%", Field::File}, {"%SIZE%", Field::Size},
    {"%BYTES%", Field::Bytes}, {"%DATE%", Field::Date}, {"%ICON%", Field::Icon},
};

// Where the placeholders of one item template stand, found once for all entries.
struct Placeholder {
    size_t at;
    size_t size;
    Field field;
};

bool Overlaps(const std::vector<Placeholder>& taken, size_t at, size_t size) {
    for (const Placeholder& other : taken) {
        if (at < other.at + other.size && other.at < at + size) return true;
    }
    return false;
}

std::vector<Placeholder> FindPlaceholders(std::string_view itemTemplate) {
    std::vector<Placeholder> found;
    for (const PlaceholderKind& kind : kPlaceholderKinds) {
        size_t at = itemTemplate.find(kind.text);
        while (at != std::string_view::npos && Overlaps(found, at, kind.text.size())) {
            at = itemTemplate.find(kind.text, at + 1);
        }
        if (at != std::string_view::npos) found.push_back({at, kind.text.size(), kind.field});
    }
    std::sort(found.begin(), found.end(), [](const Placeholder& a, const Placeholder& b) { return a.at < b.at; });
    return found;
}

// The local time of a last write to the minute. Entries of one folder are often
// written in the same minute, whose text is then formatted once.
class DateText {
public:
    void AppendTo(std::string& out, std::time_t time) {
        if (time == 0) return;
        const std::time_t minute = time >= 0 ? time / 60 : (time - 59) / 60;
        if (!formatted_ || minute != minute_) {
            text_.clear();
            minute_ = minute;
            formatted_ = true;
            std::tm local{};
            char text[32];
            if (::localtime_r(&time, &local)) {
                const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                                            local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
                if (n > 0) text_.assign(text, static_cast<size_t>(std::min<int>(n, sizeof text - 1)));
            }
        }
        out += text_;
    }

private:
    bool formatted_ = false;
    std::time_t minute_ = 0;
    std::string text_;
};

// One entry of the folder as the file system describes it.
struct FolderEntry {
    std::string name;
    bool isFolder = false;
    long long bytes = -1;
    std::time_t modified = 0;
    long modifiedNanoseconds = 0;
};

// An entry as it is sorted: by reference, as moving the entries themselves costs more
// than comparing them, with the eight bytes of its name that follow the prefix all names
// share, most significant first (zeros past the end), so that one integer comparison
// orders most pairs of names as comparing them byte by byte would.
struct SortRef {
    std::uint64_t nameKey;
    const FolderEntry* entry;
};

int CompareNames(const SortRef& a, const SortRef& b) {
    if (a.nameKey != b.nameKey) return a.nameKey < b.nameKey ? -1 : 1;
    return a.entry->name.compare(b.entry->name);
}

// Entries by the listing's key; equal keys by name, ascending whatever the order.
bool ComesBefore(const SortRef& first, const SortRef& second, const ListingOrder& order) {
    const FolderEntry& a = *first.entry;
    const FolderEntry& b = *second.entry;
    int byKey = 0;
    if (order.key == SortKey::Size && a.bytes != b.bytes) {
        byKey = a.bytes < b.bytes ? -1 : 1;
    } else if (order.key == SortKey::Date && (a.modified != b.modified || a.modifiedNanoseconds != b.modifiedNanoseconds)) {
        byKey = a.modified < b.modified || (a.modified == b.modified && a.modifiedNanoseconds < b.modifiedNanoseconds)
                    ? -1
                    : 1;
    } else if (order.key == SortKey::Name) {
        const int byName = CompareNames(first, second);
        return order.descending ? byName > 0 : byName < 0;
    }
    if (byKey != 0) return order.descending ? byKey > 0 : byKey < 0;
    return CompareNames(first, second) < 0;
}

// The entries as they are sorted, each with its name key.
std::vector<SortRef> SortRefs(const std::vector<FolderEntry>& entries) {
    std::vector<SortRef> refs;
    if (entries.empty()) return refs;
    std::string_view shared = entries.front().name;
    for (const FolderEntry& entry : entries) {
        const auto differs = std::mismatch(shared.begin(), shared.end(), entry.name.begin(), entry.name.end());
        shared = shared.substr(0, static_cast<size_t>(differs.first - shared.begin()));
    }
    refs.reserve(entries.size());
    for (const FolderEntry& entry : entries) {
        std::uint64_t key = 0;
        for (size_t i = shared.size(); i < shared.size() + 8; ++i) {
            key = key << 8 | (i < entry.name.size() ? static_cast<unsigned char>(entry.name[i]) : 0u);
        }
        refs.push_back({key, &entry});
    }
    return refs;
}

// Where the entries of one folder are read from.
struct FolderSource {
    int fd;
    const std::string& path;  // ends in "/"
    const std::wstring* documentRoot;
};

// The status of the entry `name`, following a symbolic link only where a visitor could
// follow it: what a link leads to outside the document root, or hidden below it, is
// not described (its size and date would tell of a file that is not served).
bool EntryStatus(const FolderSource& folder, const char* name, struct stat& status) {
    if (::fstatat(folder.fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISLNK(status.st_mode)) return true;
    if (folder.documentRoot) {
        const auto resolved = ResolvedPath(folder.path + name);
        if (!resolved || !MayLeadTo(*folder.documentRoot, AnsiToWide(*resolved))) return false;
    }
    return ::fstatat(folder.fd, name, &status, 0) == 0;
}

// Adds `name` to the entries unless the listing leaves it out, with its kind, size and
// date from one status query (two for a symbolic link); names left out cost none.
void AddEntry(const FolderSource& folder, std::string_view name, size_t& counted, std::vector<FolderEntry>& entries) {
    // Hidden names, "." and ".." among them, are neither counted nor listed.
    if (name.empty() || name.front() == '.') return;
    ++counted;
    // Default documents are counted, so a folder holding only one is not "empty".
    if (StartsWithIgnoringAsciiCase(name, "index") || StartsWithIgnoringAsciiCase(name, "default")) return;
    FolderEntry listed;
    listed.name = name;
    struct stat status {};
    if (EntryStatus(folder, listed.name.c_str(), status)) {
        listed.isFolder = S_ISDIR(status.st_mode);
        if (!listed.isFolder) listed.bytes = static_cast<long long>(status.st_size);
        listed.modified = status.st_mtim.tv_sec;
        listed.modifiedNanoseconds = status.st_mtim.tv_nsec;
    }
    entries.push_back(std::move(listed));
}

// The listed entries of a folder, unordered, and the number counted (listed ones and
// default documents); nothing when the folder cannot be read. `names`, when given, are
// the folder's names as read already, so that the folder is not read again.
std::vector<FolderEntry> ReadFolder(const std::string& path, const std::vector<std::string>* names,
                                    const std::wstring* documentRoot, size_t& counted) {
    std::vector<FolderEntry> entries;
    if (names) {
        const UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.IsOpen()) return entries;
        const FolderSource source{folder.Get(), path, documentRoot};
        entries.reserve(names->size());
        for (const std::string& name : *names) AddEntry(source, name, counted, entries);
        return entries;
    }
    DIR* folder = ::opendir(path.c_str());
    if (!folder) return entries;
    const FolderSource source{::dirfd(folder), path, documentRoot};
    while (const dirent* entry = ::readdir(folder)) AddEntry(source, entry->d_name, counted, entries);
    ::closedir(folder);
    return entries;
}

FolderItem ItemOf(const FolderEntry& entry) {
    FolderItem item;
    bool picture = false;
    // Most names are ASCII without a byte that a link encodes, and HTML escapes none of
    // those: such a name is its own escaped and encoded form.
    if (StaysAsIs(entry.name, PercentSet::Link)) {
        item.fileName = entry.name;
        item.linkName = entry.name;
        picture = IsThumbnailPicture(entry.name);
    } else {
        const std::string text = AsText(entry.name);
        item.fileName = EscapeHtml(text);
        AppendPercentEncoded(item.linkName, text, PercentSet::Link);
        picture = IsThumbnailPicture(text);
    }
    // No entity holds a ".", so the escaped name cut at its last "." is the escaped
    // name without its extension.
    item.displayName = WithoutExtension(item.fileName);
    item.bytes = entry.bytes;
    item.modified = entry.modified;
    item.modifiedNanoseconds = entry.modifiedNanoseconds;
    item.kind = entry.isFolder ? ItemKind::Folder : picture ? ItemKind::Picture : ItemKind::File;
    return item;
}

// Whether `text` holds either form of the opening or closing marker of `marker`.
bool HoldsMarker(std::string_view text, std::string_view marker) {
    const std::string lower = AsciiLowerCase(marker), upper = AsciiUpperCase(marker);
    for (const std::string& open : {lower, upper}) {
        std::string close = open;
        close.insert(1, 1, '/');
        if (text.find(open) != std::string_view::npos || text.find(close) != std::string_view::npos) return true;
    }
    return false;
}

// Whether the elements of two markers stand apart, neither holding the other's markers,
// so that filling them in either order gives the same page.
bool StandApart(std::string_view page, std::string_view first, std::string_view second) {
    const auto a = FindElement(page, first);
    const auto b = FindElement(page, second);
    if (a && HoldsMarker(page.substr(a->contentBegin, a->contentEnd - a->contentBegin), second)) return false;
    if (b && HoldsMarker(page.substr(b->contentBegin, b->contentEnd - b->contentBegin), first)) return false;
    return !a || !b || a->end <= b->open || b->end <= a->open;
}

}  // namespace

std::string FormatSize(long long bytes) {
    std::string text;
    AppendSize(text, bytes);
    return text;
}

void AppendSize(std::string& out, long long bytes) {
    if (bytes < 0) return;
    if (bytes < 1024) {
        out += std::to_string(bytes);
        out += " B";
        return;
    }
    constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    // Rounding decides the unit, so that 1023.97 KB reads "1.0 MB", not "1024 KB".
    while (unit + 1 < std::size(kUnits) && value >= 1023.5) {
        value /= 1024.0;
        ++unit;
    }
    // Written by hand: a formatted print per entry costs more than the rest of its row.
    if (value < 9.95) {
        const long long tenths = std::llround(value * 10);
        out += static_cast<char>('0' + tenths / 10);
        out += '.';
        out += static_cast<char>('0' + tenths % 10);
    } else {
        out += std::to_string(std::llround(value));
    }
    out += ' ';
    out += kUnits[unit];
}

bool IsThumbnailPicture(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = name.substr(dot + 1);
    return EqualsIgnoringAsciiCase(extension, "jpg") || EqualsIgnoringAsciiCase(extension, "jpeg") ||
           EqualsIgnoringAsciiCase(extension, "png");
}

size_t CollectFolderItems(const std::string& folderPath, std::wstring_view urlPath, FolderItems& folders,
                          FolderItems& files, FolderItems& pictures, const ListingOptions& options,
                          const std::vector<std::string>* names) {
    folders.clear();
    files.clear();
    pictures.clear();
    size_t counted = 0;
    const bool root = urlPath.rfind(L'/') == 0;
    if (!root) folders.push_back(FixedItem("..", "..", ItemKind::Folder));

    // A folder that cannot be read has no entries; the empty-folder message says so.
    const std::vector<FolderEntry> entries = ReadFolder(folderPath, names, options.documentRoot, counted);
    std::vector<SortRef> ordered = SortRefs(entries);
    std::sort(ordered.begin(), ordered.end(),
              [&options](const SortRef& a, const SortRef& b) { return ComesBefore(a, b, options.order); });
    files.reserve(entries.size());
    for (const SortRef& ref : ordered) (ref.entry->isFolder ? folders : files).push_back(ItemOf(*ref.entry));

    // Pictures stay in the file list, where every template shows them; they differ only
    // in their icon.
    if (options.showCurrentFolder && !root && (!files.empty() || !pictures.empty()) && !folders.empty()) {
        folders.insert(folders.begin(), FixedItem(".", ".", ItemKind::Folder));
    }
    if (counted == 0) files.push_back(FixedItem(EmptyFolderMessage(folderPath), "#", ItemKind::File));
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
    // The page is written once, around the rendered entries, rather than the entries
    // being built apart and then copied into it.
    std::string rendered;
    rendered.reserve(page.size() + items.size() * (itemTemplate.size() + folderLink.size() + 48));
    rendered.append(page, 0, element->open);
    DateText dates;
    for (const FolderItem& item : items) {
        size_t done = 0;
        for (const Placeholder& placeholder : placeholders) {
            rendered.append(itemTemplate, done, placeholder.at - done);
            switch (placeholder.field) {
                case Field::Name: rendered += item.displayName; break;
                case Field::File: rendered += item.fileName; break;
                case Field::Size: AppendSize(rendered, item.bytes); break;
                case Field::Bytes:
                    if (item.bytes >= 0) rendered += std::to_string(item.bytes);
                    break;
                case Field::Date: dates.AppendTo(rendered, item.modified); break;
                case Field::Link:
                    rendered += folderLink;
                    // Names were encoded as they were collected; the empty-folder item links "#".
                    AppendPercentEncoded(rendered, item.linkName, PercentSet::ControlAndHigh);
                    break;
                case Field::Icon:
                    if (item.kind == ItemKind::Picture) {
                        rendered += folderLink;
                        AppendPercentEncoded(rendered, item.linkName, PercentSet::ControlAndHigh);
                        rendered += '?';
                        rendered += WideToAnsi(kThumbnailParameter);
                    } else {
                        rendered += item.kind == ItemKind::Folder ? kFolderIcon : kFileIcon;
                    }
                    break;
            }
            done = placeholder.at + placeholder.size;
        }
        rendered.append(itemTemplate, done, std::string::npos);
    }
    rendered.append(page, element->end, std::string::npos);
    return rendered;
}

std::string FillFolderItems(const CRequest& request, std::string page, ListingMode mode,
                            const ListingOptions& options) {
    std::wstring urlPath = MappedUrlPath(request);
    std::string folderPath = WideToAnsi(request.filePath);
    std::wstring folderUrl;
    if (mode == ListingMode::Folder) {
        urlPath = EnsureTrailingSlash(std::move(urlPath));
        folderUrl = urlPath;
    } else {
        const size_t slash = folderPath.rfind('/');
        if (slash != std::string::npos) folderPath.resize(slash);
        const size_t urlSlash = urlPath.rfind(L'/');
        folderUrl = EnsureTrailingSlash(urlSlash == std::wstring::npos ? std::wstring() : urlPath.substr(0, urlSlash));
    }
    folderPath = EnsureTrailingSlash(std::move(folderPath));

    FolderItems folders, files, pictures;
    const std::vector<std::string>* names =
        mode == ListingMode::Folder && request.folderNames ? &*request.folderNames : nullptr;
    ListingOptions withRoot = options;
    if (request.server) withRoot.documentRoot = &request.server->documentRoot;
    CollectFolderItems(folderPath, urlPath, folders, files, pictures, withRoot, names);
    page = RenderItems(std::move(page), "<diritem>", folderUrl, folders);
    // Pictures first where that gives the same page: the search for <pictitem> then
    // never passes over thousands of rendered files.
    if (StandApart(page, "<fileitem>", "<pictitem>")) {
        page = RenderItems(std::move(page), "<pictitem>", folderUrl, pictures);
        return RenderItems(std::move(page), "<fileitem>", folderUrl, files);
    }
    page = RenderItems(std::move(page), "<fileitem>", folderUrl, files);
    return RenderItems(std::move(page), "<pictitem>", folderUrl, pictures);
}

void ListFolder(CRequest& request) {
    auto directoryTemplate = FindResource("CONTENT", kDirectoryTemplate);
    if (!directoryTemplate) {
        WriteError(request, kStatusNotFound);
        return;
    }
    ListingOptions options;
    options.order = ParseListingOrder(request);
    std::string page;
    if (directoryTemplate->empty()) {
        page = kBuiltinItemTemplate;
    } else {
        page = *directoryTemplate;
        options.showCurrentFolder = false;
        // Before the items go in, so that a name holding a marker stays as it is.
        FillPageMarkers(page, EnsureTrailingSlash(MappedUrlPath(request)), options.order);
    }
    page = FillFolderItems(request, std::move(page), ListingMode::Folder, options);
    WriteStatus(request, kStatusOk);
    WriteHeader(request, L"Content-Type", L"text/html");
    WriteHeader(request, L"Last-Modified", FormatHttpDate());
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(page.size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(page);
}

}  // namespace tarnhollow
