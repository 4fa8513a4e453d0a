// Tests of the pattern matcher: compile errors, instruction shapes, searches, the
// GPS reader's patterns, and the bounds that keep hostile patterns and texts safe.
#include "gps/Pattern.h"
#include "gps/PatternMatch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

// Allocation-failure injection for the NoMemory paths: while the countdown is
// non-negative, the allocation that finds it at 0 throws. Not inlined, so that the
// compiler does not pair the malloc and free inside with callers' new and delete.
namespace {
thread_local long allocationsBeforeFailure = -1;
}

[[gnu::noinline]] void* operator new(std::size_t size) {
    if (allocationsBeforeFailure == 0) throw std::bad_alloc();
    if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace tarnhollow {
namespace {

constexpr std::size_t kNone = PatternMatch::kNoPosition;

const wchar_t* const kGgaPattern =
    LR"(\$GPGGA,{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},[^,]*?,{[^,]*?},[^\*]+?\*{\h\h})";
const wchar_t* const kCoordinatePattern = LR"({\-?\d?\d\d}{\d\d\.\d+})";
const wchar_t* const kTimePattern = LR"({\d\d}{\d\d}{\d\d}.*)";

std::string Narrow(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

const char* KindName(InstructionKind kind) {
    static const char* const kNames[] = {"Nop", "GroupStart", "GroupEnd", "Char", "AnyChar", "InClass",
                                         "NotInClass", "Jump", "PushPos", "PopPos", "Call", "Return",
                                         "PushSlot", "PopSlot", "SavePos", "SaveDepth", "LoadPos", "LoadDepth",
                                         "FailIfNoProgress", "BackRef", "Fail", "Advance", "Match",
                                         "PushGroup", "PopGroup"};
    return kNames[static_cast<std::size_t>(kind)];
}

// "Kind operand" per instruction, joined by "|"; operands of Char and Nop print as
// characters, and operands that mean nothing are left out.
std::string Listing(const Pattern& pattern) {
    std::string out;
    for (const Instruction& instruction : pattern.Instructions()) {
        if (!out.empty()) out += '|';
        out += KindName(instruction.kind);
        switch (instruction.kind) {
        case InstructionKind::AnyChar: case InstructionKind::PushPos: case InstructionKind::PopPos:
        case InstructionKind::Return: case InstructionKind::Fail: case InstructionKind::Advance:
        case InstructionKind::Match:
            break;
        case InstructionKind::Char: case InstructionKind::Nop:
            if (instruction.operand > 0x20 && instruction.operand < 0x7F) {
                out += ' ';
                out += static_cast<char>(instruction.operand);
                break;
            }
            [[fallthrough]];
        default:
            out += ' ' + std::to_string(instruction.operand);
        }
    }
    return out;
}

// A GGA sentence with its checksum (XOR of the characters between `$` and `*`).
std::wstring Gga(const std::wstring& body) {
    unsigned sum = 0;
    for (wchar_t c : body) sum ^= static_cast<unsigned>(c);
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    return L"$" + body + L"*" + kHex[(sum >> 4) & 0xF] + kHex[sum & 0xF] + L"\r\n";
}

struct ErrorCase {
    const char* description;
    std::wstring pattern;
    PatternError expected;
    bool caseSensitive = true;
};

TEST(PatternTest, CompileResults) {
    const ErrorCase cases[] = {
        {"dash followed by the closer", L"[a-]", PatternError::MissingCloseBracket},
        {"class not closed", L"[a", PatternError::MissingCloseBracket},
        {"dash followed by the end", L"[a-", PatternError::MissingCloseBracket},
        {"escape at the end of a class", L"[\\", PatternError::MissingCloseBracket},
        {"negated class not closed", L"[^", PatternError::MissingCloseBracket},
        {"reversed range", L"[z-a]", PatternError::ReversedRange},
        {"unescaped high end", L"[a-\\]", PatternError::ReversedRange},
        {"empty class", L"[]", PatternError::EmptyClass},
        {"empty negated class", L"[^]", PatternError::EmptyClass},
        {"closer first in a class", L"[]a]", PatternError::EmptyClass},
        {"brace not closed", L"{a", PatternError::MissingCloseBrace},
        {"brace closed by a parenthesis", L"{a)", PatternError::MissingCloseBrace},
        {"parenthesis not closed", L"(a", PatternError::MissingCloseParen},
        {"parenthesis closed by a brace", L"(a}", PatternError::MissingCloseParen},
        {"reference past the groups opened", L"{a}{b}{c}\\3", PatternError::UnknownGroup},
        {"reference to the fourth group", L"{a}{b}{c}{d}\\3", PatternError::None},
        {"reference before any group", L"\\0", PatternError::UnknownGroup},
        {"reference to a group still open", L"{a\\0}", PatternError::UnknownGroup},
        {"reference to an enclosing group", L"{a{b}\\0}", PatternError::UnknownGroup},
        {"reference number that overflows", L"{a}\\99999999999999999999", PatternError::UnknownGroup},
        {"star on a possibly empty group", L"(a*)*", PatternError::EmptyLoop},
        {"option on a possibly empty group", L"(a*)?", PatternError::None},
        {"plus on a possibly empty group", L"(a?)+", PatternError::EmptyLoop},
        {"lazy star on an empty group", L"()*?", PatternError::EmptyLoop},
        {"lazy plus on an empty capture", L"{}+?", PatternError::EmptyLoop},
        {"star on an alternation with an empty side", L"(a|b?)*", PatternError::EmptyLoop},
        {"lazy option on an empty group", L"()??", PatternError::None},
        {"a lazy plus counts as possibly empty", L"(a+?)*", PatternError::EmptyLoop},
        {"a greedy plus does not", L"(a+)*", PatternError::None},
        {"loop over a look-ahead", L"(!a)*?", PatternError::EmptyLoop},
        {"look-ahead takes one atom, the star applies to it", L"!a*", PatternError::EmptyLoop},
        {"loop over a reference to a possibly empty group", L"{a?}\\0*?", PatternError::EmptyLoop},
        {"loop over a reference to a non-empty group", L"{a}\\0*", PatternError::None},
        {"star where an atom is expected", L"*", PatternError::None},
        {"every abbreviation", L"\\a\\b\\c\\d\\h\\n\\q\\w\\z\\a*\\w+\\q?", PatternError::None},
        {"upper-case abbreviation when case is ignored", L"\\D", PatternError::None, false},
        {"case folding can reverse a range", L"[Z-a]", PatternError::ReversedRange, false},
        {"empty pattern", L"", PatternError::None},
        {"unmatched closer ends the pattern", L"ab)c[", PatternError::None},
        {"trailing backslash", L"ab\\", PatternError::None},
        {"the GGA pattern", kGgaPattern, PatternError::None},
        {"the coordinate pattern", kCoordinatePattern, PatternError::None},
        {"the time pattern", kTimePattern, PatternError::None},
    };
    for (const ErrorCase& c : cases) {
        Pattern pattern;
        EXPECT_EQ(pattern.Compile(c.pattern, c.caseSensitive), c.expected) << c.description;
        EXPECT_EQ(pattern.LastError(), c.expected) << c.description;
    }
}

TEST(PatternTest, NullPatternIsNoPattern) {
    Pattern pattern;
    EXPECT_EQ(pattern.Compile(static_cast<const wchar_t*>(nullptr)), PatternError::NoPattern);
    EXPECT_EQ(pattern.Compile(std::wstring_view()), PatternError::NoPattern);
    PatternMatch match;
    EXPECT_FALSE(pattern.Match(L"", match));
}

TEST(PatternTest, BoundsOnTheCompiledProgram) {
    Pattern pattern;
    auto nested = [](std::size_t depth) {
        return std::wstring(depth, L'(') + L"a" + std::wstring(depth, L')');
    };
    EXPECT_EQ(pattern.Compile(nested(kMaxPatternNesting)), PatternError::None);
    EXPECT_EQ(pattern.Compile(nested(kMaxPatternNesting + 1)), PatternError::TooComplex);
    EXPECT_EQ(pattern.Compile(std::wstring(100000, L'!') + L"a"), PatternError::TooComplex);

    // A literal pattern of n characters takes n + 3 instructions.
    EXPECT_EQ(pattern.Compile(std::wstring(kMaxPatternInstructions - 3, L'a')), PatternError::None);
    EXPECT_EQ(pattern.Instructions().size(), kMaxPatternInstructions);
    EXPECT_EQ(pattern.Compile(std::wstring(kMaxPatternInstructions - 2, L'a')), PatternError::TooComplex);

    // Each `+` copies its atom, so twenty levels would need millions of instructions.
    std::wstring doubling = L"a";
    for (int level = 0; level < 20; ++level) doubling = L"(" + doubling + L"b)+";
    EXPECT_EQ(pattern.Compile(doubling), PatternError::TooComplex);
}

TEST(PatternTest, InstructionShapes) {
    const struct {
        const char* description;
        const wchar_t* pattern;
        const char* listing;
    } cases[] = {
        {"greedy star", L"a*",
         "Call 2|Advance|PushSlot 0|SavePos 0|PushPos|Call 9|PopPos|PopSlot 0|Jump 13|Char a|"
         "FailIfNoProgress 0|SavePos 0|Jump 2|Match"},
        {"greedy option", L"a?",
         "Call 2|Advance|PushSlot 0|SavePos 0|PushPos|Call 9|PopPos|PopSlot 0|Jump 12|Char a|"
         "FailIfNoProgress 0|SavePos 0|Match"},
        {"greedy plus", L"a+",
         "Call 2|Advance|Char a|PushSlot 0|SavePos 0|PushPos|Call 10|PopPos|PopSlot 0|Jump 14|Char a|"
         "FailIfNoProgress 0|SavePos 0|Jump 3|Match"},
        {"lazy star", L"a*?", "Call 2|Advance|Call 5|Char a|Jump 2|Match"},
        {"lazy option", L"a??", "Call 2|Advance|Call 4|Char a|Match"},
        {"lazy plus", L"a+?", "Call 2|Advance|Char a|Call 6|Char a|Jump 3|Match"},
        {"alternation of three", L"a|b|c",
         "Call 2|Advance|PushPos|Call 6|PopPos|Jump 8|Char a|Jump 15|PushPos|Call 12|PopPos|Jump 14|"
         "Char b|Jump 15|Char c|Match"},
        {"capture", L"{a}", "Call 2|Advance|PushGroup 0|GroupStart 0|Call 7|PopGroup 0|Return|Char a|GroupEnd 0|Match"},
        {"look-ahead", L"!a",
         "Call 2|Advance|SavePos 0|SaveDepth 1|Call 8|LoadPos 0|LoadDepth 1|Jump 12|Char a|LoadPos 0|"
         "LoadDepth 1|Return|Match"},
        {"classes", L"[a-c][^x]", "Call 2|Advance|InClass 5|Nop a|Nop c|NotInClass 8|Nop x|Nop x|Match"},
        {"anchors", L"^a$", "Call 2|Fail|Char a|Char 0|Match"},
        {"plus gives the copy fresh slots", L"(!a.)+",
         "Call 2|Advance|Call 4|Return|SavePos 0|SaveDepth 1|Call 10|LoadPos 0|LoadDepth 1|Jump 14|Char a|"
         "LoadPos 0|LoadDepth 1|Return|AnyChar|PushSlot 2|SavePos 2|PushPos|Call 22|PopPos|PopSlot 2|Jump 38|"
         "Call 24|Return|SavePos 3|SaveDepth 4|Call 30|LoadPos 3|LoadDepth 4|Jump 34|Char a|LoadPos 3|"
         "LoadDepth 4|Return|AnyChar|FailIfNoProgress 2|SavePos 2|Jump 15|Match"},
        {"star takes its slot before the atom's", L"(!a.)*",
         "Call 2|Advance|PushSlot 0|SavePos 0|PushPos|Call 9|PopPos|PopSlot 0|Jump 25|Call 11|Return|"
         "SavePos 1|SaveDepth 2|Call 17|LoadPos 1|LoadDepth 2|Jump 21|Char a|LoadPos 1|LoadDepth 2|Return|"
         "AnyChar|FailIfNoProgress 0|SavePos 0|Jump 2|Match"},
        {"star moves the targets inside its atom", L"(a|b)*",
         "Call 2|Advance|PushSlot 0|SavePos 0|PushPos|Call 9|PopPos|PopSlot 0|Jump 21|Call 11|Return|"
         "PushPos|Call 15|PopPos|Jump 17|Char a|Jump 18|Char b|FailIfNoProgress 0|SavePos 0|Jump 2|Match"},
    };
    for (const auto& c : cases) {
        Pattern pattern;
        ASSERT_EQ(pattern.Compile(c.pattern), PatternError::None) << c.description;
        EXPECT_EQ(Listing(pattern), c.listing) << c.description;
    }
}

struct SearchCase {
    const char* description;
    std::wstring pattern;
    std::wstring text;
    bool found;
    std::size_t start = 0;
    std::size_t end = 0;
    std::vector<std::optional<std::wstring>> groups = {};  // nullopt: took no part
    bool caseSensitive = true;
};

TEST(PatternTest, Searches) {
    const SearchCase cases[] = {
        {"alternation binds tighter: abd", L"ab|cd", L"abd", true, 0, 3},
        {"alternation binds tighter: acd", L"ab|cd", L"acd", true, 0, 3},
        {"alternation binds tighter: not ab", L"ab|cd", L"ab", false},
        {"alternation binds tighter: not cd", L"ab|cd", L"cd", false},
        {"one choice of three", L"a|b|c", L"xc", true, 1, 2},
        {"empty right alternative", L"a|", L"b", true, 0, 0},
        {"a bar where an atom is expected", L"a||b", L"x|b", true, 1, 3},
        {"escaped t is the letter", L"\\t", L"t", true, 0, 1},
        {"escaped t is not a tab", L"\\t", L"\t", false},
        {"t in a class is a tab", L"[\\t]", L"t\t", true, 1, 2},
        {"blank abbreviation takes a tab", L"\\b", L"x\t", true, 1, 2},
        {"blank abbreviation takes a blank", L"\\b", L"x ", true, 1, 2},
        {"quoted string in double quotes", L"\\q", L"say \"hi\"", true, 4, 8},
        {"single quotes are not a quoted string", L"\\q", L"say 'hi'", false},
        {"digits", L"\\d+", L"ab123c", true, 2, 5},
        {"digits captured", L"{\\d+}", L"ab123c", true, 2, 5, {L"123"}},
        {"word and number abbreviations", L"{\\w}{\\z}", L"-ab12-", true, 1, 5, {L"ab", L"12"}},
        {"line end: CR", L"a\\nb", L"a\rb", true, 0, 3},
        {"line end: CR LF", L"a\\nb", L"a\r\nb", true, 0, 4},
        {"line end: LF", L"a\\nb", L"a\nb", true, 0, 3},
        {"hexadecimal digit", L"\\h\\h", L"xz4F", true, 2, 4},
        {"unmatched closer ends the pattern", L"ab)cd", L"xabz", true, 1, 3},
        {"unmatched brace ends the pattern", L"ab}cd", L"ab", true, 0, 2},
        {"caret anchors", L"^b", L"ab", false},
        {"without the caret", L"b", L"ab", true, 1, 2},
        {"caret elsewhere is a literal", L"a^", L"a^", true, 0, 2},
        {"dollar consumes the terminator", L"a$", L"ba", true, 1, 3},
        {"dollar elsewhere is a literal", L"a$b", L"a$b", true, 0, 3},
        {"dollar alone matches only the empty text", L"$", L"ab", false},
        {"escaped dollar", L"\\$GP", L"x$GP", true, 1, 4},
        {"plus keeps the last repetition", L"{a}+", L"aaa", true, 0, 3, {L"a"}},
        {"group that took no part", L"{x}*y", L"y", true, 0, 1, {std::nullopt}},
        {"look-ahead skips a", L"!a.", L"ab", true, 1, 2},
        {"look-ahead finds nothing", L"!a.", L"aa", false},
        {"look-ahead before the end", L"a!$", L"aab", true, 0, 1},
        {"back-reference matches", L"{a}b\\0", L"aba", true, 0, 3, {L"a"}},
        {"back-reference differs", L"{a}b\\0", L"abb", false},
        {"reference to a group that took no part fails", L"({x}|y)\\0", L"y", false},
        {"optional reference to such a group", L"({x}|y)\\0?z", L"yz", true, 0, 2, {std::nullopt}},
        {"lazy loop resumes where it failed", L"a*?ab", L"aab", true, 1, 3},
        {"lazy plus takes one", L"{a+?}", L"aaa", true, 0, 1, {L"a"}},
        {"greedy plus takes all", L"{a+}", L"aaa", true, 0, 3, {L"aaa"}},
        {"lazy option skips first", L"{a??}a", L"a", true, 0, 1, {L""}},
        {"star on a star is a literal", L"a**", L"aa*", true, 0, 3},
        {"leading star is a literal", L"*a", L"x*a", true, 1, 3},
        {"bang at the end is a literal", L"Hi!", L"Hi!", true, 0, 3},
        {"bang before a closer is a literal", L"(!)", L"a!", true, 1, 2},
        {"trailing backslash is a literal", L"a\\", L"a\\", true, 0, 2},
        {"trailing backslash needs its backslash", L"a\\", L"a", false},
        {"escaped closer in a class", L"[\\]]", L"a]", true, 1, 2},
        {"escaped dash in a class", L"[a\\-z]+", L"b-za", true, 1, 4},
        {"class never takes the terminator", L"[^,]", L"", false},
        {"dot never takes the terminator", L"a.", L"a", false},
        {"wide characters", L"[\u00e0-\u00ff]\U0010FFFF", L"x\u00e9\U0010FFFF", true, 1, 3},
        {"empty pattern on empty text", L"", L"", true, 0, 0},
        {"empty pattern on text", L"", L"abc", true, 0, 0},
        {"failing pattern on empty text", L"a", L"", false},
        {"text ends at its first zero", L"c", std::wstring(L"ab\0c", 4), false},
        {"pattern ends at its first zero", std::wstring(L"a\0b", 3), L"ac", true, 0, 1},
        {"case ignored", L"GPGGA", L"GpGgA", true, 0, 5, {}, false},
        {"case ignored keeps the text's case", L"{gpgga}", L"$GpGgA", true, 1, 6, {L"GpGgA"}, false},
        {"case ignored in classes", L"{[A-Z]+}", L"12aBc", true, 2, 5, {L"aBc"}, false},
        {"case ignored in back-references", L"{a}\\0", L"aA", true, 0, 2, {L"a"}, false},
        {"case matters by default", L"GPGGA", L"gpgga", false},
    };
    for (const SearchCase& c : cases) {
        Pattern pattern;
        ASSERT_EQ(pattern.Compile(c.pattern, c.caseSensitive), PatternError::None) << c.description;
        PatternMatch match;
        std::size_t stop = 12345;
        ASSERT_EQ(pattern.Match(c.text, match, &stop), c.found) << c.description;
        EXPECT_FALSE(match.LimitReached()) << c.description;
        if (!c.found) continue;
        EXPECT_EQ(match.MatchStart(), c.start) << c.description;
        EXPECT_EQ(match.MatchEnd(), c.end) << c.description;
        EXPECT_EQ(stop, c.end) << c.description;
        if (c.groups.empty()) continue;
        ASSERT_EQ(match.GroupCount(), c.groups.size()) << c.description;
        for (std::size_t i = 0; i < c.groups.size(); ++i) {
            std::size_t start = 0;
            std::size_t end = 0;
            ASSERT_TRUE(match.GetGroup(i, start, end)) << c.description;
            if (!c.groups[i]) {
                EXPECT_EQ(start, kNone) << c.description << ", group " << i;
                EXPECT_EQ(end, kNone) << c.description << ", group " << i;
            }
            EXPECT_EQ(Narrow(GroupText(match, i)), Narrow(c.groups[i].value_or(L""))) << c.description << ", group " << i;
        }
    }
}

TEST(PatternTest, FailedSearchReportsWhereItStopped) {
    Pattern pattern;
    ASSERT_EQ(pattern.Compile(L"^ab"), PatternError::None);
    PatternMatch match;
    std::size_t stop = 0;
    EXPECT_FALSE(pattern.Match(L"ax", match, &stop));
    EXPECT_EQ(stop, 1u);
    EXPECT_EQ(match.MatchStart(), 0u);
    EXPECT_EQ(match.MatchEnd(), kNone);
}

TEST(PatternTest, SearchesThatCannotRun) {
    Pattern pattern;
    ASSERT_EQ(pattern.Compile(L"{a}"), PatternError::None);
    PatternMatch match;
    ASSERT_TRUE(pattern.Match(L"a", match));
    std::size_t stop = 7;
    EXPECT_FALSE(pattern.Match(static_cast<const wchar_t*>(nullptr), match, &stop));
    EXPECT_FALSE(pattern.Match(std::wstring_view(), match, &stop));
    EXPECT_EQ(stop, 7u) << "a null text touches nothing";
    EXPECT_EQ(Narrow(GroupText(match, 0)), "a") << "a null text touches nothing";

    EXPECT_FALSE(Pattern().Match(L"", match)) << "never compiled";
    ASSERT_EQ(pattern.Compile(L"{a"), PatternError::MissingCloseBrace);
    EXPECT_FALSE(pattern.Match(L"a", match)) << "compile failed";
}

TEST(PatternTest, GroupIndexPastTheCountIsRefused) {
    Pattern pattern;
    ASSERT_EQ(pattern.Compile(L"{a}{b}"), PatternError::None);
    PatternMatch match;
    ASSERT_TRUE(pattern.Match(L"ab", match));
    std::size_t start = 99;
    std::size_t end = 99;
    EXPECT_TRUE(match.GetGroup(1, start, end));
    EXPECT_FALSE(match.GetGroup(2, start, end));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(GroupText(match, 2), L"");
}

TEST(PatternTest, GgaPatternSplitsASentence) {
    Pattern gga;
    ASSERT_EQ(gga.Compile(kGgaPattern), PatternError::None);
    const std::wstring sentence = L"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    PatternMatch match;
    ASSERT_TRUE(gga.Match(sentence, match));
    const char* const expected[] = {"123519", "4807.038", "N", "01131.000", "E", "1", "0.9", "47"};
    ASSERT_EQ(match.GroupCount(), 8u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(Narrow(GroupText(match, i)), expected[i]) << "group " << i;

    const struct {
        const char* description;
        std::wstring sentence;
    } misses[] = {
        {"fewer fields", Gga(L"GPGGA,123519,4807.038,N,01131.000,E,1,08")},
        {"no checksum", L"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"},
        {"another sentence", Gga(L"GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W")},
    };
    for (const auto& miss : misses) EXPECT_FALSE(gga.Match(miss.sentence, match)) << miss.description;
}

TEST(PatternTest, CoordinateAndTimePatterns) {
    const struct {
        const char* description;
        const wchar_t* pattern;
        const wchar_t* text;
        std::vector<std::string> groups;
    } cases[] = {
        {"latitude", kCoordinatePattern, L"4807.038", {"48", "07.038"}},
        {"southern latitude", kCoordinatePattern, L"-4807.038", {"-48", "07.038"}},
        {"longitude", kCoordinatePattern, L"01131.000", {"011", "31.000"}},
        {"small latitude", kCoordinatePattern, L"0030.000", {"00", "30.000"}},
        {"time with fraction", kTimePattern, L"123519.00", {"12", "35", "19"}},
    };
    for (const auto& c : cases) {
        Pattern pattern;
        ASSERT_EQ(pattern.Compile(c.pattern), PatternError::None) << c.description;
        PatternMatch match;
        ASSERT_TRUE(pattern.Match(c.text, match)) << c.description;
        ASSERT_EQ(match.GroupCount(), c.groups.size()) << c.description;
        for (std::size_t i = 0; i < c.groups.size(); ++i) {
            EXPECT_EQ(Narrow(GroupText(match, i)), c.groups[i]) << c.description << ", group " << i;
        }
    }
}

TEST(PatternTest, BacktrackDepthBoundAtItsEdge) {
    // `a*b` over n letters a: one entry for the first Call, then three per loop pass
    // (slot, position, return) with n + 1 passes tried, the last failing on b.
    Pattern pattern;
    ASSERT_EQ(pattern.Compile(L"a*b"), PatternError::None);
    const std::wstring text = L"aaab";
    const std::size_t needed = 1 + 3 * (3 + 1);
    for (std::size_t initial : {std::size_t{0}, std::size_t{256}}) {
        PatternMatch enough(initial, SearchLimits{needed, kMaxSearchSteps});
        EXPECT_TRUE(pattern.Match(text, enough)) << "initial capacity " << initial;
        EXPECT_FALSE(enough.LimitReached());
        PatternMatch tooShallow(initial, SearchLimits{needed - 1, kMaxSearchSteps});
        EXPECT_FALSE(pattern.Match(text, tooShallow)) << "initial capacity " << initial;
        EXPECT_TRUE(tooShallow.LimitReached());
    }
}

TEST(PatternTest, StepBoundAtItsEdge) {
    // Two steps: the Call that enters the body and the one into the group.
    Pattern pattern;
    ASSERT_EQ(pattern.Compile(L"{a}"), PatternError::None);
    PatternMatch enough(kDefaultBacktrackCapacity, SearchLimits{kMaxBacktrackDepth, 2});
    EXPECT_TRUE(pattern.Match(L"a", enough));
    PatternMatch tooFew(kDefaultBacktrackCapacity, SearchLimits{kMaxBacktrackDepth, 1});
    EXPECT_FALSE(pattern.Match(L"a", tooFew));
    EXPECT_TRUE(tooFew.LimitReached());
    std::size_t start = 0;
    std::size_t end = 0;
    ASSERT_TRUE(tooFew.GetGroup(0, start, end));
    EXPECT_EQ(start, kNone) << "an abandoned search leaves no captures";
}

TEST(PatternTest, HostileSearchesGiveUp) {
    PatternMatch match;
    Pattern exponential;
    ASSERT_EQ(exponential.Compile(L"(a+)+b"), PatternError::None);
    EXPECT_FALSE(exponential.Match(std::wstring(40, L'a'), match));
    EXPECT_TRUE(match.LimitReached());

    Pattern deep;
    ASSERT_EQ(deep.Compile(L".*x"), PatternError::None);
    EXPECT_FALSE(deep.Match(std::wstring(kMaxBacktrackDepth / 2, L'a'), match));
    EXPECT_TRUE(match.LimitReached());
}

TEST(PatternTest, AllocationFailuresAreReported) {
    // Each allocation of a compile, then of a search, is made to fail in turn; each
    // must come back as NoMemory or false, never as an escaped exception.
    int compiled = 0;
    for (long failAt = 0; failAt < 100; ++failAt) {
        Pattern pattern;
        allocationsBeforeFailure = failAt;
        const PatternError error = pattern.Compile(kGgaPattern, false);
        allocationsBeforeFailure = -1;
        EXPECT_TRUE(error == PatternError::None || error == PatternError::NoMemory) << "allocation " << failAt;
        compiled += error == PatternError::None;
    }
    EXPECT_GT(compiled, 0) << "the loop must get past the compile's last allocation";

    Pattern pattern;
    ASSERT_EQ(pattern.Compile(kGgaPattern, false), PatternError::None);
    int refused = 0;
    for (long failAt = 0; failAt < 20; ++failAt) {
        PatternMatch match(0);
        allocationsBeforeFailure = failAt;
        const bool found = pattern.Match(L"$gpgga,1,2,N,3,E,1,8,0.9,5,M,4,M,,*47", match);
        allocationsBeforeFailure = -1;
        if (found) {
            EXPECT_EQ(Narrow(GroupText(match, 7)), "47") << "allocation " << failAt;
        } else {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0) << "some search allocations must have failed";
    EXPECT_LT(refused, 20) << "the loop must get past the search's last allocation";
}

}  // namespace
}  // namespace tarnhollow
