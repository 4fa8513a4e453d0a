// Folder listings: the entries of one folder as three item lists, rendered into a page
// through the <diritem>, <fileitem> and <pictitem> elements and their placeholders
// (%NAME%, %LINK%, %FILE%, %SIZE%, %BYTES%, %DATE%, %ICON%); the listing page of a
// folder URL with its heading, breadcrumbs and sort links, and the menu of every built
// page.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "http/Request.h"

namespace tarnhollow {

// What an entry is, for its icon: a picture gets its thumbnail, the rest a fixed icon.
enum class ItemKind { Folder, File, Picture };

// One entry of a list, held as the 8-bit text it is inserted as, so that rendering
// converts nothing. The display name is HTML, inserted as it is: a file's name is
// escaped for HTML when it is collected, while the empty-folder message carries its own
// markup. The link name is a relative URL reference appended to the folder URL: a
// file's name has the characters that would end or change a URL path ("#", "?", "%",
// quotes, angle brackets, "&", "\") escaped, so that "#" alone can link to the folder.
struct FolderItem {
    std::string displayName;
    std::string linkName;
    // The whole name with its extension, escaped like the display name (%FILE%).
    std::string fileName;
    // Size in bytes; negative for folders and for what has none (%SIZE%, %BYTES%).
    long long bytes = -1;
    // Last write, 0 when unknown (%DATE%); the nanoseconds only order equal seconds.
    std::time_t modified = 0;
    long modifiedNanoseconds = 0;
    ItemKind kind = ItemKind::File;
};
using FolderItems = std::vector<FolderItem>;

enum class ListingMode {
    Folder,  // the mapped path is the folder that is listed
    File,    // the mapped path is a file; the folder that holds it is listed
};

enum class SortKey { Name, Size, Date };

// How the entries of each list are ordered, after "." and "..": by the key, equal keys
// by name ascending; folders keep their own list, so they come first whatever the key.
struct ListingOrder {
    SortKey key = SortKey::Name;
    bool descending = false;
};

struct ListingOptions {
    ListingOrder order;
    // The "." entry of a non-root folder that shows files; the built-in directory
    // template leaves it out, as its heading names the folder already.
    bool showCurrentFolder = true;
    // The document root, for where symbolic links lead: a link shows the size and date
    // of what it leads to only where a visitor could follow it. Without a root, links
    // are followed wherever they lead.
    const std::wstring* documentRoot = nullptr;
};

// Used in place of a directory template that is present but empty.
inline constexpr char kBuiltinItemTemplate[] =
    "<diritem><a href=\"%LINK%\">%NAME%</a><br></diritem>"
    "<fileitem><a href=\"%LINK%\">%NAME%</a><br></fileitem>"
    "<pictitem><a href=\"%LINK%\">%NAME%</a><br></pictitem>";

// Shown as the only file of a folder in which nothing was counted; %s is the folder's
// file-system path with its trailing "/".
inline constexpr char kEmptyFolderMessage[] =
    "<br> - Create Folders for data to be shared in<br> '%s'<br> - Populate the folders with files<br>";

// The query parameter that asks for a picture's thumbnail instead of the picture.
inline constexpr wchar_t kThumbnailParameter[] = L"thumb";

// The whole response for a folder URL: the directory template filled with the folder's
// entries in the order of the "sort" and "order" parameters, or 404 when the template
// resource is missing.
void ListFolder(CRequest& request);

// `page` with its first <diritem>, <fileitem> and <pictitem> elements filled with the
// entries of the listed folder.
std::string FillFolderItems(const CRequest& request, std::string page, ListingMode mode,
                            const ListingOptions& options = {});

// Fills the three lists from `folderPath` (a file-system path ending in "/"), ordered
// as `options` says; `urlPath` tells whether the folder is the root (its last "/" is
// its first character). Costs one status query per entry, for its kind, size and date.
// Returns the number of entries counted: listed ones plus default documents, which are
// counted but not listed. `names`, when given, are the folder's names as read already
// (the request's folderNames), so that a large folder is read once per request.
size_t CollectFolderItems(const std::string& folderPath, std::wstring_view urlPath, FolderItems& folders,
                          FolderItems& files, FolderItems& pictures, const ListingOptions& options = {},
                          const std::vector<std::string>* names = nullptr);

// `page` with the first element of `marker` replaced by its item template repeated once
// per entry. In each copy the first of each placeholder is filled: %NAME% the display
// name, %LINK% `folderUrl` (a decoded URL path ending in "/") followed by the link name,
// percent-encoded, %FILE% the whole name, %SIZE% the size as "1.2 MB", %BYTES% the exact
// size, %DATE% the last write as "2026-12-08 14:03" in local time, %ICON% the URL of
// the entry's picture. Text inserted for one placeholder is never searched again.
std::string RenderItems(std::string page, std::string_view marker, std::wstring_view folderUrl,
                        const FolderItems& items);

// "512 B", "1.2 KB", "34 MB": one decimal below ten units, in steps of 1024; nothing
// for a negative size.
std::string FormatSize(long long bytes);
void AppendSize(std::string& out, long long bytes);

// Whether the name ends in a picture extension that thumbnails are made of (".jpg",
// ".jpeg", ".png", any letter case).
bool IsThumbnailPicture(std::string_view name);

}  // namespace tarnhollow
