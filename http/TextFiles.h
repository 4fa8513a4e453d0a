// The text-file rule: files named .htm, .html or .txt are the server's own kind of
// page. They are sent as text/html, built into pages by the pages layer, and always
// sent whole (an If-Modified-Since does not hold them back, as the page around them
// may have changed).
#pragma once

#include <string_view>

#include "http/Request.h"

namespace tarnhollow {

// Whether the extension after the last "." is htm, html or txt, ignoring case.
bool IsTextFileName(std::wstring_view path);
// The same for the request's mapped file.
bool IsTextFile(const CRequest& request);

}  // namespace tarnhollow
