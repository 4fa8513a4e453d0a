// The track filter: a fix enters the track only when enough time has passed since the
// previous one and its distance from (0, 0) has changed enough; the time step alone
// makes a NearMe update due.
#pragma once

#include <cstdint>

namespace tarnhollow {

// The previous fix the filter compares with; kept in the settings across runs.
struct PreviousFix {
    long long time = 0;  // hhmmss
    double longitude = 0;
    double latitude = 0;
};

class TrackFilter {
public:
    // `timeStep` in hhmmss units, `distanceStep` in degrees.
    TrackFilter(uint32_t timeStep, double distanceStep, PreviousFix previous);

    struct Decision {
        bool addToTrack = false;
        bool sendNearMe = false;
    };
    Decision Consider(long long time, double longitude, double latitude);

    const PreviousFix& Previous() const { return previous_; }

private:
    uint32_t timeStep_;
    double distanceStep_;
    PreviousFix previous_;
};

}  // namespace tarnhollow
