// The system's own regular-expression engine: a pattern compiled into a flat list of
// instructions for a small backtracking machine, and its compile errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarnhollow {

class PatternMatch;

// The compile result. Patterns are user-editable settings, so besides syntax errors
// the compiler reports TooComplex for programs past the bounds below, instead of
// exhausting the stack or memory.
enum class PatternError : std::uint32_t {
    None = 0,
    NoMemory = 1,             // an allocation failed while compiling
    MissingCloseBrace = 2,    // a `{` group is not closed by `}`
    MissingCloseParen = 3,    // a `(` group is not closed by `)`
    MissingCloseBracket = 4,  // a class is not closed, or `-` is followed by `]` or the end
    BadAbbreviation = 5,      // an abbreviation's expansion failed to compile
    EmptyClass = 6,           // `[]` or `[^]`
    UnknownGroup = 7,         // a back-reference to a group not opened, or still open
    ReversedRange = 8,        // a class range whose high end is below its low end
    EmptyLoop = 9,            // `*`, `+`, `*?` or `+?` on an atom that can match nothing
    NoPattern = 10,           // the pattern text is null
    TooComplex = 11,          // nesting or program size past the bounds below
};

// Bounds on a compiled pattern. Nesting is counted over groups, parentheses,
// look-aheads and abbreviations, and bounds the compiler's recursion; the instruction
// count bounds memory, since `+` copies its atom and so doubles per nesting level.
inline constexpr std::size_t kMaxPatternNesting = 100;
inline constexpr std::size_t kMaxPatternInstructions = 65536;

// Instruction kinds in their fixed order; the operand's meaning is given per kind.
enum class InstructionKind : std::uint32_t {
    Nop,               // nothing; in a class, the operand is a range bound
    GroupStart,        // group number: its start := position
    GroupEnd,          // group number: its end := position
    Char,              // character: consume it or backtrack; 0 matches the terminator
    AnyChar,           // consume any character but the terminator
    InClass,           // index past the range pairs: consume a character in a range
    NotInClass,        // same, for a character in none of the ranges
    Jump,              // target index
    PushPos,           // push the position
    PopPos,            // pop into the position
    Call,              // target index: push the next index, continue at the target
    Return,            // backtrack
    PushSlot,          // slot: push its value
    PopSlot,           // slot: pop into it
    SavePos,           // slot := position
    SaveDepth,         // slot := backtrack-stack depth
    LoadPos,           // position := slot
    LoadDepth,         // backtrack-stack depth := slot, discarding what lies above
    FailIfNoProgress,  // slot: backtrack when it equals the position
    BackRef,           // group number: consume a copy of the group's captured text
    Fail,              // end the search with no match
    Advance,           // retry one character further on
    Match,             // match end := position; end the search with a match
    PushGroup,         // group number: push its start, then its end
    PopGroup,          // group number: pop its end, then its start
};

struct Instruction {
    InstructionKind kind;
    std::uint32_t operand;
};

// One compiled pattern. Compile resets and refills it; between compiles it is only
// read, so any number of searches may use it one after the other.
//
// Syntax, in brief: `.` any character; `[a-z]`, `[^,]` classes; `{x}` capture group,
// `(x)` grouping; `!x` negative look-ahead; `\N` back-reference; `\a \b \c \d \h \n
// \q \w \z` abbreviations; `\x` any other character literally; `$` last and `^`
// first are anchors; quantifiers `* + ? *? +? ??`; `|` joins the single quantified
// atoms on either side, so it binds tighter than concatenation. An unmatched `)`,
// `]` or `}` at the top level silently ends the pattern.
//
// Behaviour at the edges of the syntax, chosen so that any pattern text is safe:
// - Pattern and text end at their first zero character, as the system's texts do.
// - A pattern that ends in a single backslash ends in a literal backslash.
// - A back-reference must name a group already closed (`{a\0}` is UnknownGroup);
//   at match time a back-reference to a group that took no part fails.
// - A back-reference counts as possibly empty when its group can capture nothing,
//   and a look-ahead always does (it consumes nothing), so a loop over either is an
//   EmptyLoop: a non-greedy loop has no progress check and would otherwise spin.
// - `!` with nothing after it (end of pattern or a closer) is a literal `!`; `|`
//   with nothing after it has an empty right alternative.
// - A pattern whose compile failed, or that was never compiled, matches nothing.
// - A failed look-ahead discards its backtrack entries, so captures made inside it
//   stay set; they are cleared when the search moves on to its next start position.
// - Every search is bounded in stack depth and steps (see SearchLimits); past a bound
//   it gives up with no match.
class Pattern {
public:
    // Compiles `pattern`; a null pointer gives NoPattern. When caseSensitive is false
    // the pattern is lower-cased (ASCII letters) first, and so is every searched text.
    PatternError Compile(const wchar_t* pattern, bool caseSensitive = true);
    // A view without data (a default-constructed one) counts as a null pattern.
    PatternError Compile(std::wstring_view pattern, bool caseSensitive = true);

    // Searches `text` for the leftmost match and fills `result`. A null text gives
    // false and touches nothing. Otherwise *stopPosition (when given) receives the
    // match end on success, else the position the search had reached when it ended.
    // Positions are offsets into `text` as given, whatever the case mode.
    bool Match(const wchar_t* text, PatternMatch& result, std::size_t* stopPosition = nullptr) const;
    bool Match(std::wstring_view text, PatternMatch& result, std::size_t* stopPosition = nullptr) const;

    std::span<const Instruction> Instructions() const { return instructions_; }
    std::size_t GroupCount() const { return groupCount_; }
    std::size_t SlotCount() const { return slotCount_; }
    bool CaseSensitive() const { return caseSensitive_; }
    PatternError LastError() const { return lastError_; }

private:
    std::vector<Instruction> instructions_;
    std::uint32_t groupCount_ = 0;
    std::uint32_t slotCount_ = 0;
    bool caseSensitive_ = true;
    PatternError lastError_ = PatternError::None;
};

}  // namespace tarnhollow
