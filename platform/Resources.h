// Program resources compiled into the binary: files of type "CONTENT" and "BINDAT"
// named in resources/resources.txt, and the string table of resources/strings.txt.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarnhollow {

struct ResourceEntry {
    const char* type;
    const char* name;
    const char* data;
    size_t size;
};

struct StringEntry {
    unsigned id;
    const char* text;
};

// The bytes of a resource, or nothing when it does not exist. "CONTENT" names match
// exactly (they are URL paths); "BINDAT" names match ignoring ASCII case, as the demo
// installer looks them up by relative path.
std::optional<std::string_view> FindResource(std::string_view type, std::string_view name);

// The string-table text of `id` as UTF-8 bytes; empty when the id has no text.
std::string LoadStringBytes(unsigned id);

// The same text as a wide string.
std::wstring LoadString(unsigned id);

}  // namespace tarnhollow
