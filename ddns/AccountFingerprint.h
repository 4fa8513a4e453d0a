// A salted hash of the dynamic DNS account that got the last answer, kept in the settings
// so that a corrected password is sent after a restart; the password itself is never kept.
#pragma once

#include <string>
#include <string_view>

namespace tarnhollow {

// "salt:hash" in hexadecimal, with a fresh random salt; SHA-256 over salt, user, a zero
// byte and password.
std::wstring MakeAccountFingerprint(std::wstring_view user, std::wstring_view password);

// Whether `fingerprint` was made from this user and password; false for anything that
// is not a fingerprint.
bool MatchesAccountFingerprint(std::wstring_view fingerprint, std::wstring_view user, std::wstring_view password);

}  // namespace tarnhollow
