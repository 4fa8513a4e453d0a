// Parsing .pass files and checking passwords with libxcrypt.
#include "http/PasswordFile.h"

#include <crypt.h>

#include <array>
#include <memory>

namespace tarnhollow {

namespace {

constexpr std::array<std::string_view, 5> kHashPrefixes = {"$2y$", "$2b$", "$2a$", "$y$", "$6$"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

bool IsCheckableHash(std::string_view hash) {
    for (char c : hash) {
        if (static_cast<unsigned char>(c) <= ' ' || c == ':' || c == 0x7F) return false;
    }
    for (std::string_view prefix : kHashPrefixes) {
        if (hash.size() > prefix.size() && hash.starts_with(prefix)) return true;
    }
    return false;
}

std::vector<PasswordEntry> ParsePasswordFile(std::string_view text) {
    std::vector<PasswordEntry> entries;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) continue;
        const std::string_view user = line.substr(0, colon);
        const std::string_view hash = line.substr(colon + 1);
        if (!IsCheckableHash(hash) || user.find('\0') != std::string_view::npos) continue;
        bool known = false;
        for (const PasswordEntry& entry : entries) known = known || entry.user == user;
        if (!known) entries.push_back({std::string(user), std::string(hash)});
    }
    return entries;
}

bool EqualInConstantTime(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

bool CheckPassword(const std::string& password, const std::string& hash) {
    if (!IsCheckableHash(hash) || password.find('\0') != std::string::npos) return false;
    // crypt_rn's own storage: large, so on the heap, and cleared by the library.
    auto data = std::make_unique<crypt_data>();
    const char* result = ::crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof(crypt_data));
    // A failed hash starts with "*" and never equals a stored one.
    return result && result[0] != '*' && EqualInConstantTime(result, hash);
}

}  // namespace tarnhollow
