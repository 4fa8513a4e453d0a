// Compiling pattern text: recursive descent that emits every construct in its fixed
// instruction shape, wrapping an atom in loop code once a quantifier follows it.
// Longer than most files: every construct's parser shares the one parse state and
// emits into the one list, so splitting it would only spread that state around.
#include "gps/Pattern.h"

#include "platform/TextConvert.h"

#include <new>
#include <string>

namespace tarnhollow {
namespace {

using Kind = InstructionKind;

struct Abbreviation {
    wchar_t letter;
    const wchar_t* expansion;
};

// Only the first atom of an expansion is compiled, so `q` yields its double-quoted
// alternative alone: the single-quoted one after the `|` is never reached.
constexpr Abbreviation kAbbreviations[] = {
    {L'a', L"([a-zA-Z0-9])"},
    {L'b', L"([ \\t])"},
    {L'c', L"([a-zA-Z])"},
    {L'd', L"([0-9])"},
    {L'h', L"([0-9a-fA-F])"},
    {L'n', L"(\r|(\r?\n))"},
    {L'q', L"(\"[^\"]*\")|('[^']*')"},
    {L'w', L"([a-zA-Z]+)"},
    {L'z', L"([0-9]+)"},
};

const wchar_t* FindAbbreviation(wchar_t letter) {
    for (const Abbreviation& abbreviation : kAbbreviations) {
        if (abbreviation.letter == letter) return abbreviation.expansion;
    }
    return nullptr;
}

bool IsCloser(wchar_t c) { return c == L')' || c == L']' || c == L'}'; }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Kinds whose operand is an instruction index, moved with the code they lie in.
bool HasTarget(Kind kind) {
    return kind == Kind::Call || kind == Kind::Jump || kind == Kind::InClass || kind == Kind::NotInClass;
}

bool HasSlot(Kind kind) {
    switch (kind) {
    case Kind::PushSlot:
    case Kind::PopSlot:
    case Kind::SavePos:
    case Kind::SaveDepth:
    case Kind::LoadPos:
    case Kind::LoadDepth:
    case Kind::FailIfNoProgress:
        return true;
    default:
        return false;
    }
}

// One compile. The instruction shapes are those of a compiler that, on seeing a
// quantifier, discards the atom and compiles it again inside the loop; re-parsing
// would cost time exponential in the nesting of quantified groups, so the atom's code
// is moved (or copied, for `+`) instead and its targets and slots renumbered to what
// the second compile would have given.
class Compiler {
public:
    Compiler(std::wstring_view text, std::vector<Instruction>& code, std::uint32_t& groupCount,
             std::uint32_t& slotCount)
        : text_(text), code_(code), groupCount_(groupCount), slotCount_(slotCount) {}

    PatternError Run() {
        if (!Emit(Kind::Call, 2)) return error_;
        if (Peek() == L'^') {
            ++pos_;
            if (!Emit(Kind::Fail)) return error_;
        } else if (!Emit(Kind::Advance)) {
            return error_;
        }
        bool empty = true;
        // ParseSequence stops at the end or at an unmatched closer; what follows a
        // closer is ignored without an error.
        if (!ParseSequence(empty)) return error_;
        Emit(Kind::Match);
        return error_;
    }

private:
    // Every Parse function returns false once error_ is set; `empty` receives whether
    // what it compiled can match the empty text (for EmptyLoop).

    bool ParseSequence(bool& empty) {
        empty = true;
        while (!AtEnd() && !IsCloser(Peek())) {
            bool itemEmpty = true;
            if (!ParseItem(itemEmpty)) return false;
            empty = empty && itemEmpty;
        }
        return true;
    }

    // A quantified atom, possibly followed by `| quantified atom` any number of times:
    // x | y | z compiles as x | (y | z), each alternative wrapped in front once its `|`
    // is seen. Every alternative's exit jumps to the one common end.
    bool ParseItem(bool& empty) {
        std::size_t start = code_.size();
        if (!ParseQuantifiedAtom(empty)) return false;
        std::vector<std::size_t> exits;
        while (Peek() == L'|') {
            ++pos_;
            if (!Insert(start, 4)) return false;
            code_[start] = {Kind::PushPos, 0};
            code_[start + 1] = {Kind::Call, Index(start + 4)};
            code_[start + 2] = {Kind::PopPos, 0};
            const std::size_t jumpToRight = start + 3;
            exits.push_back(code_.size());
            if (!Emit(Kind::Jump)) return false;
            start = code_.size();
            code_[jumpToRight] = {Kind::Jump, Index(start)};
            bool rightEmpty = true;
            if (!AtEnd() && !IsCloser(Peek()) && !ParseQuantifiedAtom(rightEmpty)) return false;
            empty = empty || rightEmpty;
        }
        for (std::size_t exit : exits) code_[exit].operand = Index(code_.size());
        return true;
    }

    bool ParseQuantifiedAtom(bool& empty) {
        const std::size_t start = code_.size();
        const std::uint32_t slotStart = slotCount_;
        bool atomEmpty = true;
        if (!ParseAtom(atomEmpty)) return false;
        const wchar_t quantifier = Peek();
        if (quantifier != L'*' && quantifier != L'+' && quantifier != L'?') {
            empty = atomEmpty;
            return true;
        }
        ++pos_;
        const bool lazy = Peek() == L'?';
        if (lazy) ++pos_;
        if (quantifier != L'?' && atomEmpty) return Fail(PatternError::EmptyLoop);
        // Only a greedy `+` keeps the atom's emptiness; the rest count as possibly empty,
        // `+?` too (conservative: it refuses some loops that would be safe).
        empty = quantifier == L'+' && !lazy ? atomEmpty : true;
        if (!lazy) {
            if (quantifier == L'+') return AppendGreedyLoop(start, slotStart);
            return WrapGreedyLoop(start, slotStart, quantifier == L'*');
        }
        if (quantifier == L'+') return AppendLazyLoop(start, slotStart);
        return WrapLazy(start, quantifier == L'*');
    }

    bool ParseAtom(bool& empty) {
        if (AtEnd()) return true;
        const wchar_t c = Peek();
        switch (c) {
        case L'.':
            ++pos_;
            empty = false;
            return Emit(Kind::AnyChar);
        case L'[':
            empty = false;
            return ParseClass();
        case L'{':
            return ParseCaptureGroup(empty);
        case L'(':
            return ParseGroup(empty);
        case L'\\':
            return ParseEscape(empty);
        case L'!':
            if (pos_ + 1 < text_.size() && !IsCloser(text_[pos_ + 1])) return ParseLookAhead(empty);
            break;
        case L'$':
            if (pos_ + 1 == text_.size()) {
                ++pos_;
                empty = false;
                return Emit(Kind::Char, 0);  // the text's terminating zero
            }
            break;
        default:
            break;
        }
        ++pos_;
        empty = false;
        return Emit(Kind::Char, static_cast<std::uint32_t>(c));
    }

    bool ParseEscape(bool& empty) {
        ++pos_;
        empty = false;
        if (AtEnd()) return Emit(Kind::Char, L'\\');
        const wchar_t c = Peek();
        if (IsDigit(c)) {
            std::uint32_t group = 0;
            while (IsDigit(Peek())) {
                // Saturates: any number past the group count is unknown anyway.
                const std::uint32_t digit = static_cast<std::uint32_t>(Peek() - L'0');
                group = group > (UINT32_MAX - digit) / 10 ? UINT32_MAX : group * 10 + digit;
                ++pos_;
            }
            // A group still open has no end yet, so a reference to it would compare
            // text over a stale or inverted range.
            if (group >= groupCount_ || !groupClosed_[group]) return Fail(PatternError::UnknownGroup);
            empty = groupEmpty_[group];
            return Emit(Kind::BackRef, group);
        }
        if (const wchar_t* expansion = FindAbbreviation(c)) {
            ++pos_;
            return ParseAbbreviation(expansion, empty);
        }
        ++pos_;
        return Emit(Kind::Char, static_cast<std::uint32_t>(c));
    }

    bool ParseAbbreviation(std::wstring_view expansion, bool& empty) {
        if (!Enter()) return false;
        const std::wstring_view savedText = text_;
        const std::size_t savedPos = pos_;
        text_ = expansion;
        pos_ = 0;
        const bool compiled = ParseAtom(empty);
        text_ = savedText;
        pos_ = savedPos;
        if (!compiled) {
            // Bounds stay what they are; anything else is the expansion's own fault.
            if (error_ != PatternError::TooComplex && error_ != PatternError::NoMemory) {
                error_ = PatternError::BadAbbreviation;
            }
            return false;
        }
        Leave();
        return true;
    }

    // [ranges] or [^ranges]: the class instruction, then one Nop pair per range.
    bool ParseClass() {
        ++pos_;
        const bool negated = Peek() == L'^';
        if (negated) ++pos_;
        if (AtEnd()) return Fail(PatternError::MissingCloseBracket);
        if (Peek() == L']') return Fail(PatternError::EmptyClass);
        const std::size_t head = code_.size();
        if (!Emit(negated ? Kind::NotInClass : Kind::InClass)) return false;
        for (;;) {
            if (AtEnd()) return Fail(PatternError::MissingCloseBracket);
            wchar_t low = Peek();
            if (low == L']') break;
            if (low == L'\\') {
                ++pos_;
                if (AtEnd()) return Fail(PatternError::MissingCloseBracket);
                low = Peek() == L't' ? L'\t' : Peek();
            }
            ++pos_;
            wchar_t high = low;
            if (Peek() == L'-') {
                ++pos_;
                if (AtEnd() || Peek() == L']') return Fail(PatternError::MissingCloseBracket);
                high = Peek();  // the high end is taken as written, unescaped
                ++pos_;
                if (static_cast<std::uint32_t>(high) < static_cast<std::uint32_t>(low)) {
                    return Fail(PatternError::ReversedRange);
                }
            }
            if (!Emit(Kind::Nop, static_cast<std::uint32_t>(low)) || !Emit(Kind::Nop, static_cast<std::uint32_t>(high))) {
                return false;
            }
        }
        ++pos_;
        code_[head].operand = Index(code_.size());
        return true;
    }

    // { x }: PushGroup n, GroupStart n, Call X, PopGroup n, Return, X: x, GroupEnd n.
    bool ParseCaptureGroup(bool& empty) {
        if (!Enter()) return false;
        ++pos_;
        const std::uint32_t group = groupCount_++;
        groupClosed_.push_back(false);
        groupEmpty_.push_back(true);
        if (!Emit(Kind::PushGroup, group) || !Emit(Kind::GroupStart, group)) return false;
        const std::size_t call = code_.size();
        if (!Emit(Kind::Call) || !Emit(Kind::PopGroup, group) || !Emit(Kind::Return)) return false;
        code_[call].operand = Index(code_.size());
        if (!ParseSequence(empty)) return false;
        if (Peek() != L'}') return Fail(PatternError::MissingCloseBrace);
        ++pos_;
        if (!Emit(Kind::GroupEnd, group)) return false;
        groupClosed_[group] = true;
        groupEmpty_[group] = empty;
        Leave();
        return true;
    }

    // ( x ): Call X, Return, X: x (one Nop when x is empty).
    bool ParseGroup(bool& empty) {
        if (!Enter()) return false;
        ++pos_;
        const std::size_t call = code_.size();
        if (!Emit(Kind::Call) || !Emit(Kind::Return)) return false;
        const std::size_t body = code_.size();
        code_[call].operand = Index(body);
        if (!ParseSequence(empty)) return false;
        if (Peek() != L')') return Fail(PatternError::MissingCloseParen);
        ++pos_;
        if (code_.size() == body && !Emit(Kind::Nop)) return false;
        Leave();
        return true;
    }

    // ! x: SavePos m1, SaveDepth m2, Call X, LoadPos m1, LoadDepth m2, Jump After,
    //      X: x, LoadPos m1, LoadDepth m2, Return, After.
    bool ParseLookAhead(bool& empty) {
        if (!Enter()) return false;
        ++pos_;
        const std::uint32_t position = slotCount_++;
        const std::uint32_t depth = slotCount_++;
        if (!Emit(Kind::SavePos, position) || !Emit(Kind::SaveDepth, depth)) return false;
        const std::size_t call = code_.size();
        if (!Emit(Kind::Call) || !Emit(Kind::LoadPos, position) || !Emit(Kind::LoadDepth, depth)) return false;
        const std::size_t jump = code_.size();
        if (!Emit(Kind::Jump)) return false;
        code_[call].operand = Index(code_.size());
        bool atomEmpty = true;
        if (!ParseAtom(atomEmpty)) return false;
        if (!Emit(Kind::LoadPos, position) || !Emit(Kind::LoadDepth, depth) || !Emit(Kind::Return)) return false;
        code_[jump].operand = Index(code_.size());
        // It never consumes, so a loop over it could spin without progress.
        empty = true;
        Leave();
        return true;
    }

    // x* (repeat) or x?: L0: PushSlot m, SavePos m, PushPos, Call Body, PopPos,
    // PopSlot m, Jump End, Body: x, FailIfNoProgress m, SavePos m, [Jump L0,] End.
    bool WrapGreedyLoop(std::size_t start, std::uint32_t slotStart, bool repeat) {
        // The loop's slot is taken before the atom's own, as a second compile would.
        const std::uint32_t loopSlot = slotStart;
        RenumberSlots(start, code_.size(), slotStart, 1);
        ++slotCount_;
        if (!Insert(start, 7)) return false;
        code_[start] = {Kind::PushSlot, loopSlot};
        code_[start + 1] = {Kind::SavePos, loopSlot};
        code_[start + 2] = {Kind::PushPos, 0};
        code_[start + 3] = {Kind::Call, Index(start + 7)};
        code_[start + 4] = {Kind::PopPos, 0};
        code_[start + 5] = {Kind::PopSlot, loopSlot};
        if (!Emit(Kind::FailIfNoProgress, loopSlot) || !Emit(Kind::SavePos, loopSlot)) return false;
        if (repeat && !Emit(Kind::Jump, Index(start))) return false;
        code_[start + 6] = {Kind::Jump, Index(code_.size())};
        return true;
    }

    // x+: x, then the code of x* around a second copy of x with fresh slots.
    bool AppendGreedyLoop(std::size_t start, std::uint32_t slotStart) {
        const std::size_t length = code_.size() - start;
        const std::uint32_t atomSlots = slotCount_ - slotStart;
        const std::size_t loop = code_.size();
        const std::uint32_t loopSlot = slotCount_++;
        if (!Emit(Kind::PushSlot, loopSlot) || !Emit(Kind::SavePos, loopSlot) || !Emit(Kind::PushPos) ||
            !Emit(Kind::Call, Index(loop + 7)) || !Emit(Kind::PopPos) || !Emit(Kind::PopSlot, loopSlot) ||
            !Emit(Kind::Jump)) {
            return false;
        }
        if (!AppendCopy(start, length, slotStart, atomSlots)) return false;
        if (!Emit(Kind::FailIfNoProgress, loopSlot) || !Emit(Kind::SavePos, loopSlot) ||
            !Emit(Kind::Jump, Index(loop))) {
            return false;
        }
        code_[loop + 6].operand = Index(code_.size());
        return true;
    }

    // x*? (repeat): C: Call After, x, Jump C, After.   x??: Call After, x, After.
    bool WrapLazy(std::size_t start, bool repeat) {
        if (!Insert(start, 1)) return false;
        if (repeat && !Emit(Kind::Jump, Index(start))) return false;
        code_[start] = {Kind::Call, Index(code_.size())};
        return true;
    }

    // x+?: x, then C: Call After, a second copy of x with fresh slots, Jump C, After.
    bool AppendLazyLoop(std::size_t start, std::uint32_t slotStart) {
        const std::size_t length = code_.size() - start;
        const std::uint32_t atomSlots = slotCount_ - slotStart;
        const std::size_t loop = code_.size();
        if (!Emit(Kind::Call) || !AppendCopy(start, length, slotStart, atomSlots) || !Emit(Kind::Jump, Index(loop))) {
            return false;
        }
        code_[loop].operand = Index(code_.size());
        return true;
    }

    // Appends a copy of [start, start + length): its targets follow it, and the atom's
    // slots (atomSlots of them, numbered from slotStart) become fresh ones.
    bool AppendCopy(std::size_t start, std::size_t length, std::uint32_t slotStart, std::uint32_t atomSlots) {
        if (!Reserve(length)) return false;
        const std::size_t copy = code_.size();
        for (std::size_t i = 0; i < length; ++i) {
            const Instruction instruction = code_[start + i];
            code_.push_back(instruction);
        }
        Relocate(copy, code_.size(), start, copy - start);
        RenumberSlots(copy, code_.size(), slotStart, slotCount_ - slotStart);
        slotCount_ += atomSlots;
        return true;
    }

    // Opens `count` instructions at `at`; the code after it moves and its targets follow.
    bool Insert(std::size_t at, std::size_t count) {
        if (!Reserve(count)) return false;
        code_.insert(code_.begin() + static_cast<std::ptrdiff_t>(at), count, Instruction{Kind::Nop, 0});
        Relocate(at + count, code_.size(), at, count);
        return true;
    }

    // Adds `shift` to every target in [from, to) that points at or after `base`.
    void Relocate(std::size_t from, std::size_t to, std::size_t base, std::size_t shift) {
        for (std::size_t i = from; i < to; ++i) {
            Instruction& instruction = code_[i];
            if (HasTarget(instruction.kind) && instruction.operand >= base) {
                instruction.operand = Index(instruction.operand + shift);
            }
        }
    }

    void RenumberSlots(std::size_t from, std::size_t to, std::uint32_t firstSlot, std::uint32_t shift) {
        for (std::size_t i = from; i < to; ++i) {
            Instruction& instruction = code_[i];
            if (HasSlot(instruction.kind) && instruction.operand >= firstSlot) instruction.operand += shift;
        }
    }

    bool Reserve(std::size_t more) {
        if (more > kMaxPatternInstructions - code_.size()) return Fail(PatternError::TooComplex);
        return true;
    }

    bool Emit(Kind kind, std::uint32_t operand = 0) {
        if (!Reserve(1)) return false;
        code_.push_back({kind, operand});
        return true;
    }

    bool Enter() {
        if (++nesting_ > kMaxPatternNesting) return Fail(PatternError::TooComplex);
        return true;
    }
    void Leave() { --nesting_; }

    bool Fail(PatternError error) {
        if (error_ == PatternError::None) error_ = error;
        return false;
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    // The text holds no zero character, so 0 stands for "past the end".
    wchar_t Peek() const { return pos_ < text_.size() ? text_[pos_] : L'\0'; }
    // Indices stay below kMaxPatternInstructions, so they fit an operand.
    static std::uint32_t Index(std::size_t index) { return static_cast<std::uint32_t>(index); }

    std::wstring_view text_;
    std::size_t pos_ = 0;
    std::vector<Instruction>& code_;
    std::uint32_t& groupCount_;
    std::uint32_t& slotCount_;
    std::vector<bool> groupClosed_;
    std::vector<bool> groupEmpty_;
    std::size_t nesting_ = 0;
    PatternError error_ = PatternError::None;
};

}  // namespace

PatternError Pattern::Compile(const wchar_t* pattern, bool caseSensitive) {
    if (pattern == nullptr) return Compile(std::wstring_view(), caseSensitive);
    return Compile(std::wstring_view(pattern), caseSensitive);
}

PatternError Pattern::Compile(std::wstring_view pattern, bool caseSensitive) {
    instructions_.clear();
    groupCount_ = 0;
    slotCount_ = 0;
    caseSensitive_ = caseSensitive;
    lastError_ = PatternError::None;
    if (pattern.data() == nullptr) return lastError_ = PatternError::NoPattern;
    pattern = pattern.substr(0, pattern.find(L'\0'));
    try {
        std::wstring lowered;
        if (!caseSensitive) {
            lowered = AsciiLowerCase(pattern);
            pattern = lowered;
        }
        lastError_ = Compiler(pattern, instructions_, groupCount_, slotCount_).Run();
    } catch (const std::bad_alloc&) {
        lastError_ = PatternError::NoMemory;
    }
    return lastError_;
}

}  // namespace tarnhollow
