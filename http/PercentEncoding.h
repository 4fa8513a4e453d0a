// Percent-encoding of paths for the places a path leaves the server: Location headers,
// listing links and the status line.
#pragma once

#include <string>
#include <string_view>

namespace tarnhollow {

enum class PercentSet {
    // Bytes 0x00-0x20 and 0x80-0xFF; everything else, "%" included, stays.
    ControlAndHigh,
    // Also 0x7F and the characters that would end the path or the attribute around a
    // link: " # % & ' < > ? and the backslash.
    Link,
};

// Whether `bytes` hold no byte of `set`, so that encoding leaves them as they are.
bool StaysAsIs(std::string_view bytes, PercentSet set);

// Appends `bytes` to `out` with every byte of `set` written as "%XX".
void AppendPercentEncoded(std::string& out, std::string_view bytes, PercentSet set);

// The wide path through the 8-bit code page, encoded.
std::wstring PercentEncode(std::wstring_view text, PercentSet set = PercentSet::ControlAndHigh);

}  // namespace tarnhollow
