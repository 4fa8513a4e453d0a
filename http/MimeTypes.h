// The Content-Type of a served file, chosen from its name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "http/Request.h"

namespace tarnhollow {

// The type for a file path, or nothing when no source knows its extension.
std::optional<std::wstring> ContentTypeFor(std::wstring_view filePath);

// Writes at most one Content-Type header for the request's file path.
void WriteContentType(CRequest& request);

// The system media-type list read on first use; tests point it elsewhere before that.
void SetSystemMimeTypesFile(const std::string& path);

}  // namespace tarnhollow
