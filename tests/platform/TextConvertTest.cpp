// UTF-8 conversions of the system's text, the byte-widening rule and ASCII letter case.
#include "platform/TextConvert.h"

#include <gtest/gtest.h>

namespace tarnhollow::test {
namespace {

TEST(TextConvert, InvalidSequencesBecomeTheDefaultCharacter) {
    struct Row {
        const char* description;
        std::string bytes;
        std::wstring text;
    };
    const Row rows[] = {
        {"ascii", "abc", L"abc"},
        {"two-byte", "caf\xC3\xA9", L"caf\u00e9"},
        {"four-byte", "\xF0\x9F\x98\x80", std::wstring(1, static_cast<wchar_t>(0x1F600))},
        {"lone continuation", "a\x80z", L"a?z"},
        {"latin-1 byte", "caf\xE9", L"caf?"},
        {"truncated at the end", "a\xE2\x82", L"a?"},
        {"overlong slash", "\xC0\xAF", L"??"},
        {"surrogate encoded", "\xED\xA0\x80", L"?"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", L"?"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(AnsiToWide(row.bytes), row.text);
    }
}

TEST(TextConvert, WideToAnsiRoundTripsAndRefusesNonCharacters) {
    const std::wstring text = L"Tarnhollow \u00e9\u4e2d" + std::wstring(1, static_cast<wchar_t>(0x1F600));
    EXPECT_EQ(AnsiToWide(WideToAnsi(text)), text);
    EXPECT_EQ(WideToAnsi(std::wstring(1, static_cast<wchar_t>(0xD800))), "?");
    EXPECT_EQ(WideToAnsi(std::wstring(1, static_cast<wchar_t>(0x110000))), "?");
}

TEST(TextConvert, ReceivedBytesWidenBySignExtension) {
    EXPECT_EQ(WidenByte(0x41), L'A');
    EXPECT_EQ(static_cast<unsigned>(WidenByte(0xE9)), 0xFFE9u);
    EXPECT_EQ(static_cast<unsigned>(WidenByte(0x80)), 0xFF80u);
}

TEST(TextConvert, LetterCaseIsIgnoredForAsciiLettersOnly) {
    struct Row {
        const char* description;
        std::string a, b;
        bool equal, startsWith;
    };
    const Row rows[] = {
        {"same text", "index.htm", "index.htm", true, true},
        {"other letter case", "INDEX.Htm", "index.hTM", true, true},
        {"a longer text starts with a shorter one", "Default.html", "default", false, true},
        {"a shorter text does not start with a longer one", "index", "index.htm", false, false},
        {"bytes outside ASCII keep their case", "\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9", false, false},
        {"the characters beside the letters do not match them", "@[`{", "`{@[", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(EqualsIgnoringAsciiCase(row.a, row.b), row.equal);
        EXPECT_EQ(StartsWithIgnoringAsciiCase(row.a, row.b), row.startsWith);
    }
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::wstring_view(L"GeT"), std::wstring_view(L"get")));
    EXPECT_EQ(AsciiUpperCase("<body>\xC3\xA9z"), "<BODY>\xC3\xA9Z");
    EXPECT_EQ(AsciiLowerCase(std::string_view("<BODY>Z")), "<body>z");
}

}  // namespace
}  // namespace tarnhollow::test
