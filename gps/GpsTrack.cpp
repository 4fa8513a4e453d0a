// The bounded track and its lock.
#include "gps/GpsTrack.h"

#include <utility>

namespace tarnhollow {

void GpsTrack::Add(GpsFix fix) {
    std::lock_guard<std::mutex> hold(lock_);
    while (!fixes_.empty() && fixes_.size() >= maxFixes_) fixes_.pop_front();
    fixes_.push_back(std::move(fix));
}

void GpsTrack::Replace(std::vector<GpsFix> fixes) {
    std::lock_guard<std::mutex> hold(lock_);
    fixes_.assign(std::make_move_iterator(fixes.begin()), std::make_move_iterator(fixes.end()));
}

std::vector<GpsFix> GpsTrack::Copy() const {
    std::lock_guard<std::mutex> hold(lock_);
    return std::vector<GpsFix>(fixes_.begin(), fixes_.end());
}

}  // namespace tarnhollow
