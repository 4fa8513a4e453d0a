// A folder's default documents and default programs: the string table's two lists of
// names that a folder URL leads to instead of its listing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnhollow {

// The file a folder URL is redirected to: its name as it is on disk, and whether it is
// a default program (whose redirect ends in "?").
struct DefaultFile {
    std::string name;
    bool program = false;
};

// Of the default documents, then the default programs, the first that names a file among
// `names`, the names read from `folder`, when ASCII letter case is ignored; nothing when
// the folder holds none.
std::optional<DefaultFile> FindDefaultFile(const std::string& folder, const std::vector<std::string>& names);

// Whether the file name after the last "/" of `filePath` is one of the default
// documents of the string table (default.html, default.htm, index.html, index.htm),
// ignoring case: services show those as ordinary pages.
bool IsDefaultDocument(std::wstring_view filePath);

}  // namespace tarnhollow
