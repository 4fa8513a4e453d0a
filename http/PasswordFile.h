// A folder's .pass file: lines "user:hash" as htpasswd writes them, with bcrypt,
// yescrypt or SHA-512 crypt hashes, and the check of a password against such a hash.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnhollow {

struct PasswordEntry {
    std::string user;
    std::string hash;
};

// The entries of a .pass file's text. Lines starting with "#" and empty lines are
// comments; a line without ":", with an empty user name, or whose hash is not of a
// kind that can be checked (IsCheckableHash) is skipped. A user named twice keeps the
// first line.
std::vector<PasswordEntry> ParsePasswordFile(std::string_view text);

// bcrypt ("$2y$", "$2b$", "$2a$"), yescrypt ("$y$") or SHA-512 crypt ("$6$").
bool IsCheckableHash(std::string_view hash);

// Whether `password` hashes to `hash` (through the system's crypt library, never by a
// hash of our own); the results are compared in constant time. Slow by design: call it
// off the server thread.
bool CheckPassword(const std::string& password, const std::string& hash);

// Constant-time comparison of two byte strings of the same length; false otherwise.
bool EqualInConstantTime(std::string_view a, std::string_view b);

}  // namespace tarnhollow
