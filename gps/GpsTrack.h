// The track: the latest accepted fixes, oldest first, bounded in length, under the
// track lock that the reader's thread and the GPS pages share.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "gps/GpsFix.h"

namespace tarnhollow {

class GpsTrack {
public:
    explicit GpsTrack(size_t maxFixes) : maxFixes_(maxFixes) {}

    // Removes the oldest entries while the track holds maxFixes or more, then appends.
    void Add(GpsFix fix);
    // Replaces the whole track (the fix file at start).
    void Replace(std::vector<GpsFix> fixes);
    // A copy, so that the lock is held only while copying.
    std::vector<GpsFix> Copy() const;

    size_t MaxFixes() const { return maxFixes_; }

private:
    const size_t maxFixes_;
    mutable std::mutex lock_;
    std::deque<GpsFix> fixes_;
};

}  // namespace tarnhollow
