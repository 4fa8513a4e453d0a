// The result of one pattern search (match position and group captures) together with
// the search's working state: the explicit backtrack stack and the scratch slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnhollow {

class Pattern;

// A search holds all its backtracking state in one stack. A user-editable pattern can
// make that stack deep or the search exponentially long, so each search is bounded:
// past either bound the search gives up, Match returns false and LimitReached() says
// why. Depth is counted in entries (8 bytes each). Steps are Calls and backtracks
// (every cycle of a program passes one, so this bounds the work to steps times the
// program's length), plus one per class range scanned and per character a
// back-reference compares.
inline constexpr std::size_t kMaxBacktrackDepth = std::size_t{1} << 20;
inline constexpr std::uint64_t kMaxSearchSteps = std::uint64_t{1} << 24;
// The stack capacity the GPS reader starts its searches with.
inline constexpr std::size_t kDefaultBacktrackCapacity = 256;

struct SearchLimits {
    std::size_t maxBacktrackDepth = kMaxBacktrackDepth;
    std::uint64_t maxSteps = kMaxSearchSteps;
};

class PatternMatch {
public:
    // The value of a position that is not set: a group that took no part, or no match.
    static constexpr std::size_t kNoPosition = std::numeric_limits<std::size_t>::max();

    explicit PatternMatch(std::size_t initialCapacity = kDefaultBacktrackCapacity, SearchLimits limits = {});

    // The pattern's group count after a search; 0 before the first one.
    std::size_t GroupCount() const { return groups_.size(); }

    // Start and end offsets of a group's capture, both kNoPosition when it took no
    // part. Returns false (and leaves the outputs alone) for an index at or past
    // GroupCount(): a caller's mistake, reported by value because the system uses
    // no exceptions.
    [[nodiscard]] bool GetGroup(std::size_t index, std::size_t& start, std::size_t& end) const;

    // Where the match starts and ends. On success the end may lie one past the text's
    // last character, when `$` consumed the terminator. Without a match the start is
    // the last start position tried and the end is kNoPosition.
    std::size_t MatchStart() const { return matchStart_; }
    std::size_t MatchEnd() const { return matchEnd_; }

    // True when the last search gave up at a bound of SearchLimits.
    bool LimitReached() const { return limitReached_; }

    // The text of the last search, as the caller gave it (up to its first zero). Only
    // a view: the caller keeps the text alive while it reads groups from this result.
    std::wstring_view Text() const { return text_; }

private:
    friend class Pattern;

    struct Capture {
        std::size_t start;
        std::size_t end;
    };

    std::wstring_view text_;
    std::vector<Capture> groups_;
    std::vector<std::size_t> slots_;
    // Entries are used from index 1; index 0 is never read, so depth 0 is "empty".
    std::vector<std::size_t> stack_;
    std::size_t initialCapacity_;
    SearchLimits limits_;
    std::size_t matchStart_ = kNoPosition;
    std::size_t matchEnd_ = kNoPosition;
    bool limitReached_ = false;
};

// The text of a group of the last search: empty when the group took no part or the
// index is out of range.
std::wstring GroupText(const PatternMatch& match, std::size_t group);

}  // namespace tarnhollow
