// The search: the backtracking machine that runs a compiled Pattern over a text and
// fills a PatternMatch, and the accessors of that result.
#include "gps/PatternMatch.h"

#include "gps/Pattern.h"
#include "platform/TextConvert.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace tarnhollow {

PatternMatch::PatternMatch(std::size_t initialCapacity, SearchLimits limits)
    : initialCapacity_(std::min(initialCapacity, limits.maxBacktrackDepth + 1)), limits_(limits) {}

bool PatternMatch::GetGroup(std::size_t index, std::size_t& start, std::size_t& end) const {
    if (index >= groups_.size()) return false;
    start = groups_[index].start;
    end = groups_[index].end;
    return true;
}

std::wstring GroupText(const PatternMatch& match, std::size_t group) {
    std::size_t start = 0;
    std::size_t end = 0;
    if (!match.GetGroup(group, start, end)) return {};
    const std::wstring_view text = match.Text();
    if (start == PatternMatch::kNoPosition || end == PatternMatch::kNoPosition || start >= end ||
        start >= text.size()) {
        return {};
    }
    return std::wstring(text.substr(start, std::min(end, text.size()) - start));
}

namespace {

// Grows the backtrack stack geometrically, to twice (depth + 2) entries, up to the
// depth bound; null when the bound is reached or memory runs out.
std::size_t* GrowStack(std::vector<std::size_t>& stack, std::size_t depth, std::size_t maxDepth) {
    if (depth + 1 > maxDepth) return nullptr;
    try {
        stack.resize(std::min(2 * (depth + 2), maxDepth + 1));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return stack.data();
}

}  // namespace

bool Pattern::Match(const wchar_t* text, PatternMatch& result, std::size_t* stopPosition) const {
    if (text == nullptr) return false;
    return Match(std::wstring_view(text), result, stopPosition);
}

bool Pattern::Match(std::wstring_view text, PatternMatch& result, std::size_t* stopPosition) const {
    using Kind = InstructionKind;
    constexpr std::size_t kNone = PatternMatch::kNoPosition;

    if (text.data() == nullptr) return false;
    if (stopPosition != nullptr) *stopPosition = kNone;
    text = text.substr(0, text.find(L'\0'));

    std::wstring lowered;
    try {
        result.text_ = text;
        result.matchStart_ = kNone;
        result.matchEnd_ = kNone;
        result.limitReached_ = false;
        result.groups_.assign(groupCount_, PatternMatch::Capture{kNone, kNone});
        result.slots_.assign(slotCount_, 0);
        if (result.stack_.size() < result.initialCapacity_) result.stack_.resize(result.initialCapacity_);
        if (!caseSensitive_) lowered = AsciiLowerCase(text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Nothing to run: never compiled, or the compile failed and left a partial program.
    if (lastError_ != PatternError::None || instructions_.empty()) return false;

    // Lower-casing keeps one character per character, so positions in the lowered copy
    // are positions in the caller's text.
    const wchar_t* const chars = caseSensitive_ ? text.data() : lowered.data();
    const std::size_t length = text.size();
    const Instruction* const code = instructions_.data();
    const std::size_t codeSize = instructions_.size();
    PatternMatch::Capture* const groups = result.groups_.data();
    std::size_t* const slots = result.slots_.data();
    std::size_t* stack = result.stack_.data();
    std::size_t capacity = result.stack_.size();
    std::size_t depth = 0;
    const std::size_t maxDepth = result.limits_.maxBacktrackDepth;
    std::uint64_t budget = result.limits_.maxSteps;

    std::size_t searchStart = 0;
    std::size_t matchStart = 0;
    std::size_t pos = 0;
    std::size_t ip = 0;

    // Threaded dispatch: every handler jumps straight to the next instruction's
    // handler, which branch predictors follow far better than one shared switch.
    static const void* const kHandlers[] = {
        &&onNop, &&onGroupStart, &&onGroupEnd, &&onChar, &&onAnyChar, &&onInClass, &&onNotInClass,
        &&onJump, &&onPushPos, &&onPopPos, &&onCall, &&onReturn, &&onPushSlot, &&onPopSlot, &&onSavePos,
        &&onSaveDepth, &&onLoadPos, &&onLoadDepth, &&onFailIfNoProgress, &&onBackRef, &&onFail, &&onAdvance,
        &&onMatch, &&onPushGroup, &&onPopGroup};
    static_assert(std::size(kHandlers) == static_cast<std::size_t>(Kind::PopGroup) + 1);

#define NEXT goto* kHandlers[static_cast<std::uint32_t>(code[ip].kind)]
#define OPERAND (code[ip].operand)
#define POP (depth != 0 ? stack[depth--] : std::size_t{0})
#define PUSH(value)                                                \
    do {                                                           \
        if (depth + 1 >= capacity) [[unlikely]] {                  \
            stack = GrowStack(result.stack_, depth, maxDepth);     \
            if (stack == nullptr) goto gaveUp;                     \
            capacity = result.stack_.size();                       \
        }                                                          \
        stack[++depth] = (value);                                  \
    } while (false)
// Every cycle of a program passes a Call or a backtrack, so counting those bounds the
// work to the budget times the program's length.
#define SPEND_STEP                            \
    do {                                      \
        if (budget == 0) goto gaveUp;         \
        --budget;                             \
    } while (false)
#define SPEND(cost) (budget = budget > (cost) ? budget - (cost) : 0)

    NEXT;

onNop:
    ++ip;
    NEXT;
onGroupStart:
    groups[OPERAND].start = pos;
    ++ip;
    NEXT;
onGroupEnd:
    groups[OPERAND].end = pos;
    ++ip;
    NEXT;
onChar:
    // Operand 0 stands for the terminator, which lies at `length`.
    if (pos < length ? static_cast<std::uint32_t>(chars[pos]) == OPERAND : (pos == length && OPERAND == 0)) {
        ++pos;
        ++ip;
        NEXT;
    }
    goto backtrack;
onAnyChar:
    if (pos < length) {
        ++pos;
        ++ip;
        NEXT;
    }
    goto backtrack;
onInClass:
onNotInClass: {
    if (pos >= length) goto backtrack;
    const std::uint32_t c = static_cast<std::uint32_t>(chars[pos]);
    const std::size_t end = OPERAND;
    std::size_t range = ip + 1;
    while (range < end && !(code[range].operand <= c && c <= code[range + 1].operand)) range += 2;
    SPEND((range - ip) / 2);
    if ((range < end) != (code[ip].kind == Kind::InClass)) goto backtrack;
    ++pos;
    ip = end;
    NEXT;
}
onJump:
    ip = OPERAND;
    NEXT;
onPushPos:
    PUSH(pos);
    ++ip;
    NEXT;
onPopPos:
    pos = POP;
    ++ip;
    NEXT;
onCall:
    SPEND_STEP;
    PUSH(ip + 1);
    ip = OPERAND;
    NEXT;
onReturn:
    goto backtrack;
onPushSlot:
    PUSH(slots[OPERAND]);
    ++ip;
    NEXT;
onPopSlot:
    slots[OPERAND] = POP;
    ++ip;
    NEXT;
onSavePos:
    slots[OPERAND] = pos;
    ++ip;
    NEXT;
onSaveDepth:
    slots[OPERAND] = depth;
    ++ip;
    NEXT;
onLoadPos:
    pos = slots[OPERAND];
    ++ip;
    NEXT;
onLoadDepth:
    // Only ever discards: raising the depth would expose stale entries.
    depth = std::min(depth, slots[OPERAND]);
    ++ip;
    NEXT;
onFailIfNoProgress:
    if (slots[OPERAND] == pos) goto backtrack;
    ++ip;
    NEXT;
onBackRef: {
    // A group that took no part fails the reference: it has no text to compare.
    const PatternMatch::Capture group = groups[OPERAND];
    if (group.start == kNone || group.end == kNone || group.start > group.end || group.end > length) goto backtrack;
    const std::size_t count = group.end - group.start;
    if (pos > length || count > length - pos) goto backtrack;
    SPEND(count);
    if (!std::equal(chars + group.start, chars + group.end, chars + pos)) goto backtrack;
    pos += count;
    ++ip;
    NEXT;
}
onFail:
    goto noMatch;
onAdvance:
    // The next start; past the last character there is none. (The empty text's only
    // start is 0, so this also ends its search without reading past it.)
    if (++searchStart >= length) goto noMatch;
    depth = 0;
    pos = searchStart;
    matchStart = searchStart;
    ip = 0;
    // Captures a failed look-ahead left behind belong to the old start.
    std::fill(groups, groups + groupCount_, PatternMatch::Capture{kNone, kNone});
    NEXT;
onMatch:
    result.matchStart_ = matchStart;
    result.matchEnd_ = pos;
    if (stopPosition != nullptr) *stopPosition = pos;
    return true;
onPushGroup:
    PUSH(groups[OPERAND].start);
    PUSH(groups[OPERAND].end);
    ++ip;
    NEXT;
onPopGroup:
    groups[OPERAND].end = POP;
    groups[OPERAND].start = POP;
    ++ip;
    NEXT;

backtrack:
    // Continue at the popped instruction, keeping the position.
    SPEND_STEP;
    ip = POP;
    if (ip == 0) {
        matchStart = pos;
    } else if (ip >= codeSize) {
        goto noMatch;  // a compiled program never pushes such an index
    }
    NEXT;

#undef NEXT
#undef OPERAND
#undef POP
#undef PUSH
#undef SPEND_STEP
#undef SPEND

gaveUp:
    result.limitReached_ = true;
    std::fill(groups, groups + groupCount_, PatternMatch::Capture{kNone, kNone});
noMatch:
    result.matchStart_ = matchStart;
    if (stopPosition != nullptr) *stopPosition = pos;
    return false;
}

}  // namespace tarnhollow
