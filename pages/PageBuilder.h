// Page building: a page-kind file set into the file template, with the folder's item
// lists, optional substitution values and the map service key; and the element
// operations on 8-bit page text that the page handlers share.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/Request.h"
#include "pages/SiteState.h"

namespace tarnhollow {

// What one BuildPage call substitutes. Markers are whole opening markers such as
// "<comment>"; value i of a record belongs to value marker i, and a record may hold
// fewer values than there are markers.
struct Substitutions {
    std::optional<std::string> itemMarker;
    std::vector<std::optional<std::string>> valueMarkers;
    std::vector<std::vector<std::wstring>> records;
    bool mapsKey = false;
};

// Page-kind files larger than this are not built into pages but sent as they are, so
// that one huge text file cannot make the server hold it in memory whole.
inline constexpr size_t kMaxPageFileBytes = 32 * 1024 * 1024;

// Builds the page for the request's open file and writes Content-Length, the blank
// line and the page. Returns false (writing nothing) when the file template is missing
// or the file cannot be read or is larger than kMaxPageFileBytes.
bool BuildPage(CRequest& request, SiteState& site, const Substitutions& substitutions = {});

// Element operations. A marker matches in all-lowercase or all-uppercase only; the
// closing marker is the opening one with "/" after "<". An element is the first
// opening marker (in either form) and the first closing marker after it; a closing
// marker that stands before any opening one is plain text.

// Where an element stands in its text.
struct ElementSpan {
    size_t open;          // first byte of the opening marker
    size_t contentBegin;  // just after the opening marker
    size_t contentEnd;    // first byte of the closing marker
    size_t end;           // just after the closing marker
};

// The first whole element whose opening marker starts at or after `start`.
std::optional<ElementSpan> FindElement(std::string_view text, std::string_view marker, size_t start = 0);

// The first element (inclusive keeps both markers); the whole text when either marker
// is missing.
std::string Section(std::string_view text, std::string_view marker, bool inclusive);

// Replaces one element found at or after `start`; returns where a further search
// continues (just after the replacement), or nothing when no element was found.
std::optional<size_t> ReplaceFirst(std::string& text, std::string_view marker, std::string_view replacement,
                                   size_t start = 0);

// Every element, left to right; replacement text is never searched again.
void ReplaceEvery(std::string& text, std::string_view marker, std::string_view replacement);

}  // namespace tarnhollow
