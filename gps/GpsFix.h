// One entry of the GPS track (the texts of an accepted fix as users see them) and the
// rule that keeps every GPS text safe to set into a page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnhollow {

struct GpsFix {
    // Time, longitude and latitude text, in this order. An entry loaded from a damaged
    // line of the fix file may hold fewer; the ones it holds are the first ones.
    std::vector<std::wstring> texts;
};

// The GPS pages set their values into HTML and scripts as they are, so a text that came
// from a receiver, the fix file or a setting keeps only printable characters other than
// markup, quote and escape characters; any other character becomes "?".
std::wstring PlainGpsText(std::wstring_view text);

}  // namespace tarnhollow
