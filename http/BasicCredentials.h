// The user name and password of an "Authorization: Basic" header.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnhollow {

struct BasicCredentials {
    std::string user;
    std::string password;
};

// The credentials of `header` (the Authorization header's value as received, one
// character per byte): the scheme "Basic" in any case, blanks, then base64 of
// "user:password" (padding may be left out). Nullopt for another scheme, bad base64, no
// ":", or a NUL byte, which would cut the password short where it is checked.
std::optional<BasicCredentials> ParseBasicCredentials(std::wstring_view header);

}  // namespace tarnhollow
