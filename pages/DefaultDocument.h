// Whether a mapped file is one of a folder's default documents, which the services
// show as ordinary pages.
#pragma once

#include <string_view>

namespace tarnhollow {

// True when the file name after the last "/" is one of the default documents of the
// string table (default.html, default.htm, index.html, index.htm), ignoring case.
bool IsDefaultDocument(std::wstring_view filePath);

}  // namespace tarnhollow
