// The time and distance steps of the track filter.
#include "gps/TrackFilter.h"

#include <algorithm>
#include <cmath>

namespace tarnhollow {

namespace {

// Times are hhmmss numbers; anything past this range is no time of day, and clamping
// keeps the difference below from overflowing.
constexpr long long kTimeRange = 1LL << 40;

long long ClampTime(long long time) { return std::clamp(time, -kTimeRange, kTimeRange); }

}  // namespace

TrackFilter::TrackFilter(uint32_t timeStep, double distanceStep, PreviousFix previous)
    : timeStep_(timeStep), distanceStep_(distanceStep), previous_(previous) {
    previous_.time = ClampTime(previous_.time);
}

TrackFilter::Decision TrackFilter::Consider(long long time, double longitude, double latitude) {
    time = ClampTime(time);
    Decision decision;
    if (std::llabs(time - previous_.time) <= static_cast<long long>(timeStep_)) return decision;
    previous_.time = time;
    decision.sendNearMe = true;
    const double distance =
        std::fabs(std::sqrt(previous_.longitude * previous_.longitude + previous_.latitude * previous_.latitude) -
                  std::sqrt(longitude * longitude + latitude * latitude));
    if (distance > distanceStep_) {
        previous_.longitude = longitude;
        previous_.latitude = latitude;
        decision.addToTrack = true;
    }
    return decision;
}

}  // namespace tarnhollow
