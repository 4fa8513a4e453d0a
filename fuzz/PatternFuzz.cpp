// libFuzzer target for the pattern matcher: compiles arbitrary pattern text, checks
// the program is well formed, and searches arbitrary text with it.
#include "gps/Pattern.h"
#include "gps/PatternMatch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using tarnhollow::Instruction;
using tarnhollow::InstructionKind;
using tarnhollow::Pattern;
using tarnhollow::PatternError;
using tarnhollow::PatternMatch;
using tarnhollow::SearchLimits;

// Input: one byte of flags, then the pattern, a 0x00 byte, and the text. Bytes from
// 0xF8 up stand for characters a byte cannot spell, the zero character among them.
wchar_t Widen(std::uint8_t byte) {
    static const std::uint32_t kSpecial[8] = {0, 0x100, 0xFFFF, 0x10FFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xD800};
    if (byte < 0xF8) return static_cast<wchar_t>(byte);
    return static_cast<wchar_t>(static_cast<std::int32_t>(kSpecial[byte - 0xF8]));
}

void Check(bool condition) {
    if (!condition) std::abort();
}

// Every operand that names an instruction, group or slot must exist.
void CheckProgram(const Pattern& pattern) {
    const auto code = pattern.Instructions();
    Check(code.size() >= 3 && code.size() <= tarnhollow::kMaxPatternInstructions);
    Check(code.back().kind == InstructionKind::Match);
    for (std::size_t ip = 0; ip < code.size(); ++ip) {
        const Instruction& instruction = code[ip];
        switch (instruction.kind) {
        case InstructionKind::Jump:
        case InstructionKind::Call:
            Check(instruction.operand < code.size());
            break;
        case InstructionKind::InClass:
        case InstructionKind::NotInClass:
            Check(instruction.operand < code.size() && instruction.operand > ip + 2 &&
                  (instruction.operand - ip - 1) % 2 == 0);
            break;
        case InstructionKind::GroupStart:
        case InstructionKind::GroupEnd:
        case InstructionKind::BackRef:
        case InstructionKind::PushGroup:
        case InstructionKind::PopGroup:
            Check(instruction.operand < pattern.GroupCount());
            break;
        case InstructionKind::PushSlot:
        case InstructionKind::PopSlot:
        case InstructionKind::SavePos:
        case InstructionKind::SaveDepth:
        case InstructionKind::LoadPos:
        case InstructionKind::LoadDepth:
        case InstructionKind::FailIfNoProgress:
            Check(instruction.operand < pattern.SlotCount());
            break;
        default:
            break;
        }
    }
}

struct Outcome {
    bool found;
    std::size_t start;
    std::size_t end;
    std::size_t stop;
    bool limitReached;
};

Outcome Search(const Pattern& pattern, const std::wstring& text, PatternMatch& match) {
    Outcome outcome{};
    outcome.found = pattern.Match(text, match, &outcome.stop);
    outcome.start = match.MatchStart();
    outcome.end = match.MatchEnd();
    outcome.limitReached = match.LimitReached();
    const std::size_t length = match.Text().size();
    Check(length <= text.size());
    if (outcome.found) {
        Check(outcome.start <= outcome.end && outcome.end <= length + 1 && outcome.stop == outcome.end);
    }
    for (std::size_t group = 0; group < match.GroupCount(); ++group) {
        std::size_t start = 0;
        std::size_t end = 0;
        Check(match.GetGroup(group, start, end));
        const bool unset = start == PatternMatch::kNoPosition;
        Check(unset == (end == PatternMatch::kNoPosition) || !outcome.found);
        if (outcome.found && !unset) Check(start <= end && end <= length);
        Check(tarnhollow::GroupText(match, group).size() <= length);
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool caseSensitive = (data[0] & 1) == 0;
    std::wstring pattern;
    std::wstring text;
    std::size_t i = 1;
    for (; i < size && data[i] != 0; ++i) pattern += Widen(data[i]);
    for (++i; i < size; ++i) text += Widen(data[i]);

    Pattern compiled;
    if (compiled.Compile(pattern, caseSensitive) != PatternError::None) {
        PatternMatch match;
        Check(!compiled.Match(text, match));
        return 0;
    }
    CheckProgram(compiled);

    // Small bounds keep each run short; the two searches differ only in how often the
    // stack grows, so they must agree.
    const SearchLimits limits{std::size_t{1} << 16, std::uint64_t{1} << 18};
    PatternMatch grown(0, limits);
    PatternMatch roomy(256, limits);
    const Outcome a = Search(compiled, text, grown);
    const Outcome b = Search(compiled, text, roomy);
    Check(a.found == b.found && a.start == b.start && a.end == b.end && a.stop == b.stop &&
          a.limitReached == b.limitReached);
    for (std::size_t group = 0; group < grown.GroupCount(); ++group) {
        Check(tarnhollow::GroupText(grown, group) == tarnhollow::GroupText(roomy, group));
    }
    return 0;
}
