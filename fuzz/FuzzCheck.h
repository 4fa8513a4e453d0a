// The one assertion of the GPS fuzz targets: a property that does not hold ends the run
// with an abort, which libFuzzer reports as a crash and keeps the input of.
#pragma once

#include <cstdlib>

namespace tarnhollow {

inline void FuzzCheck(bool condition) {
    if (!condition) std::abort();
}

}  // namespace tarnhollow
