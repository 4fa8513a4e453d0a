// flock on "<settings file>.lock".
#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

namespace tarnhollow {

InstanceLock::InstanceLock(const std::string& settingsFile) : path_(settingsFile + ".lock") {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // Without a lock file (a read-only folder) nothing can tell instances apart; the
    // program runs rather than refusing to start.
    held_ = fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace tarnhollow
