// HTTP dates: the Date, Last-Modified and Expires values the server writes, and the
// If-Modified-Since dates it reads.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tarnhollow {

// `time` in UTC seconds, or now when absent, plus `offsetSeconds`, formatted with the
// date format of the string table ("Sun, 06 Dec 2026 23:09:21 GMT").
std::wstring FormatHttpDate(std::optional<std::time_t> time = std::nullopt, long long offsetSeconds = 0);

// An If-Modified-Since date in the RFC 1123, RFC 850 or asctime layout, as UTC seconds.
std::optional<std::time_t> ParseHttpDate(std::wstring_view text);

}  // namespace tarnhollow
