// Whole decimal numbers from outside text (command line, headers, queries): digits only,
// no sign, no overflow.
#pragma once

#include <string_view>

namespace tarnhollow::directory {

// False unless `text` is 1 to 9 digits whose value lies in [low, high].
bool ParseWholeNumber(std::string_view text, long low, long high, long& value);

}  // namespace tarnhollow::directory
