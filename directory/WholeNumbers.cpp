// Digits to a bounded value.
#include "directory/WholeNumbers.h"

namespace tarnhollow::directory {

bool ParseWholeNumber(std::string_view text, long low, long high, long& value) {
    // Nine digits cannot overflow a long, and no bound here needs more.
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

}  // namespace tarnhollow::directory
