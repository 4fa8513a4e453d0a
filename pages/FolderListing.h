// Folder listings: the entries of one folder as three item lists, rendered into a page
// through the <diritem>, <fileitem> and <pictitem> elements and their %NAME% and %LINK%
// placeholders; the listing page of a folder URL, and the menu of every built page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "http/Request.h"

namespace tarnhollow {

// One entry of a list. The display name is HTML, inserted as it is: a file's name is
// escaped for HTML when it is collected, while the empty-folder message carries its own
// markup. The link name is a relative URL reference appended to the folder URL: a
// file's name has the characters that would end or change a URL path ("#", "?", "%",
// quotes, angle brackets, "&", "\") escaped, so that "#" alone can link to the folder.
struct FolderItem {
    std::wstring displayName;
    std::wstring linkName;
};
using FolderItems = std::vector<FolderItem>;

enum class ListingMode {
    Folder,  // the mapped path is the folder that is listed
    File,    // the mapped path is a file; the folder that holds it is listed
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

// The whole response for a folder URL: the directory template filled with the folder's
// entries, or 404 when the template resource is missing.
void ListFolder(CRequest& request);

// `page` with its first <diritem>, <fileitem> and <pictitem> elements filled with the
// entries of the listed folder.
std::string FillFolderItems(const CRequest& request, std::string page, ListingMode mode);

// Fills the three lists from `folderPath` (a file-system path ending in "/"), in name
// order; `urlPath` tells whether the folder is the root (its last "/" is its first
// character). Returns the number of entries counted: listed ones plus default
// documents, which are counted but not listed.
size_t CollectFolderItems(const std::wstring& folderPath, std::wstring_view urlPath, FolderItems& folders,
                          FolderItems& files, FolderItems& pictures);

// `page` with the first element of `marker` replaced by its item template repeated once
// per entry; the first %NAME% of each copy becomes the display name and the first
// %LINK% the link: `folderUrl` (a decoded URL path ending in "/") followed by the link
// name, percent-encoded.
std::string RenderItems(std::string page, std::string_view marker, std::wstring_view folderUrl,
                        const FolderItems& items);

}  // namespace tarnhollow
