// From URL path to file: the built-in resources, mapping into the document root with
// its redirects and refusals, the head of a file answer, and streaming its body.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "http/Request.h"

namespace tarnhollow {

// Answers the four built-in resource paths from the program's resources (GET only).
bool ServeBuiltin(CRequest& request);

// root + urlPath with "." and ".." resolved and separators folded into "/".
std::wstring CanonicalPath(std::wstring_view text);

// Sets file path (resolved through symbolic links) and attributes; may answer 400,
// 404, 301 or 302 itself. The document root must be a resolved path without a
// trailing "/" (empty for the file system's root).
void MapUrl(CRequest& request);

// Writes the status and head for the mapped file or folder; true when a body follows.
bool PrepareFile(CRequest& request);

// Writes the rest of a GET answer (through the router when there is one).
void WriteBody(CRequest& request);

// Content-Length, the blank line and the first chunk of the open file; the connection
// streams the remainder. An empty file is closed at once.
void StreamFile(CRequest& request);

// Last-Modified from the open file's last-write time, when it can be read.
void WriteLastModified(CRequest& request);

// Whether `name` is one of the default documents of the string table, ignoring case.
bool IsDefaultDocumentName(std::wstring_view name);

// Whether the extension after the last "." is htm, html or txt, ignoring case.
bool IsTextFileName(std::wstring_view path);
bool IsTextFile(const CRequest& request);

// The URL path of the mapped file or folder below the document root ("/" for the root
// itself), or the URL as typed when nothing was mapped. Services decide on this, never
// on the URL as typed, which may reach the same file by other names.
std::wstring MappedUrlPath(const CRequest& request);

// An If-Modified-Since date in the RFC 1123, RFC 850 or asctime layout, as UTC seconds.
std::optional<std::time_t> ParseHttpDate(std::wstring_view text);

// The hidden-file page's body.
inline constexpr char kHiddenFilesMessage[] = "<h1> Cannot Show Hidden Files and Root Directories</h1>";

}  // namespace tarnhollow
