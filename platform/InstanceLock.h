// The single-instance rule: one running program per settings file, held by an
// advisory lock on a lock file beside it.
#pragma once

#include <string>

namespace tarnhollow {

class InstanceLock {
public:
    // Takes the lock for `settingsFile` without waiting.
    explicit InstanceLock(const std::string& settingsFile);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock; false when another instance does.
    bool Held() const { return held_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    bool held_ = false;
};

}  // namespace tarnhollow
