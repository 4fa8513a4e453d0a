// libFuzzer target for .pass files in the document root: any text an owner may leave
// there, and a password checked against what it yields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "http/PasswordFile.h"

// Input: the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnhollow;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto entries = ParsePasswordFile(text);
    for (const PasswordEntry& entry : entries) {
        FuzzCheck(!entry.user.empty() && entry.user.find(':') == std::string::npos);
        FuzzCheck(entry.user.find('\n') == std::string::npos && IsCheckableHash(entry.hash));
    }
    // The check of a hash the fuzzer wrote: malformed settings must fail, not crash. Only
    // the cheapest kind, so that a run tries many inputs.
    const std::string& hash = entries.empty() ? std::string() : entries.front().hash;
    if (hash.starts_with("$6$") && hash.find("rounds=") == std::string::npos) CheckPassword("password", hash);
    return 0;
}
