// Conversions between the system's wide text and its 8-bit "ANSI" text, which on this
// platform is UTF-8, the byte-widening rule the connection uses for received lines, and
// ASCII letter case.
#pragma once

#include <string>
#include <string_view>

namespace tarnhollow {

// Encodes wide text as UTF-8. A character that is not a Unicode scalar value (a
// surrogate, or above U+10FFFF) becomes "?", the code page's default character.
std::string WideToAnsi(std::wstring_view text);
// The same, appended to `out` (whose room a caller may reuse).
void AppendAnsi(std::string& out, std::wstring_view text);

// Decodes UTF-8; every invalid or truncated sequence becomes one "?".
std::wstring AnsiToWide(std::string_view text);

// One received byte becomes one character by sign extension: 0x00-0x7F stay,
// 0x80-0xFF become U+FF80-U+FFFF.
inline wchar_t WidenByte(unsigned char byte) {
    return static_cast<wchar_t>(static_cast<char16_t>(static_cast<int16_t>(static_cast<signed char>(byte))));
}

// Changes the case of ASCII letters only; other characters are kept as they are.
std::wstring AsciiLowerCase(std::wstring_view text);
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);

// The one comparison that ignores the case of ASCII letters: names of files, resources,
// months and methods all match through it.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// The value of a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char c);

}  // namespace tarnhollow
