// The answers the directory host writes itself: one function builds every one of them,
// so that status lines, headers and error pages look the same throughout.
#pragma once

#include <string>
#include <string_view>

namespace tarnhollow::directory {

// "HTTP/1.0 <status> <reason>", the content type and length, no caching, the body.
std::string HttpAnswer(int status, std::string_view contentType, std::string_view body);

// A short HTML page for `status` saying `explanation` (text, escaped here).
std::string ErrorAnswer(int status, std::string_view explanation);

// Text escaped for HTML.
std::string HtmlEscaped(std::string_view text);

}  // namespace tarnhollow::directory
