// From URL path to file: the one path from a request's URL to a file or folder below
// the document root, with its redirects and refusals, and the way back.
#pragma once

#include <string>
#include <string_view>

#include "http/Request.h"

namespace tarnhollow {

// root + urlPath with "." and ".." resolved and separators folded into "/".
std::wstring CanonicalPath(std::wstring_view text);

// Sets file path (resolved through symbolic links) and attributes; may answer 400,
// 404, 301 or 302 itself. The document root must be a resolved path without a
// trailing "/" (empty for the file system's root).
void MapUrl(CRequest& request);

// Whether a visitor may reach `resolved`, a path with its symbolic links resolved: it
// lies inside the document root `root` and no component of it below the root is hidden.
// A link is no way around the hidden and containment rules.
bool MayLeadTo(std::wstring_view root, std::wstring_view resolved);

// The URL path of the mapped file or folder below the document root ("/" for the root
// itself), or the URL as typed when nothing was mapped. Services decide on this, never
// on the URL as typed, which may reach the same file by other names.
std::wstring MappedUrlPath(const CRequest& request);

}  // namespace tarnhollow
