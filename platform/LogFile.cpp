// Opening, reopening and appending to a log file.
#include "platform/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tarnhollow {

bool LogFile::Open(const std::string& path, int& error) {
    path_ = path;
    return Reopen(error);
}

bool LogFile::Reopen(int& error) {
    file_.Reset();
    // Non-blocking, so that a named pipe nobody reads fails at once instead of holding
    // the server thread; a regular file ignores it.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0640);
    if (fd < 0) {
        error = errno;
        return false;
    }
    file_.Reset(fd);
    return true;
}

void LogFile::Append(std::string_view line) {
    if (!file_.IsOpen()) return;
    ssize_t n;
    do {
        n = ::write(file_.Get(), line.data(), line.size());
    } while (n < 0 && errno == EINTR);
}

}  // namespace tarnhollow
