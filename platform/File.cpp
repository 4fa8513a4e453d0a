// POSIX implementation of the file services the server uses.
#include "platform/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/TextConvert.h"

namespace tarnhollow {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

int UniqueFd::Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

int FileAttributes(const std::string& path, int* error) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        if (error) *error = path.empty() ? ENOENT : errno;
        return -1;
    }
    return S_ISDIR(st.st_mode) ? kAttributeFolder : kAttributeNormal;
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

UniqueFd OpenForReading(const std::string& path, FileInfo* info) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return UniqueFd();
    struct stat st;
    // Only regular files are served: a FIFO or device could block the server thread.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return UniqueFd();
    }
    if (info) {
        info->size = static_cast<long long>(st.st_size);
        info->lastWriteTime = st.st_mtime;
    }
    return UniqueFd(fd);
}

int DescriptorAttributes(int fd, FileInfo& info, bool& regular) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return -1;
    info.size = static_cast<long long>(st.st_size);
    info.lastWriteTime = st.st_mtime;
    regular = S_ISREG(st.st_mode);
    return S_ISDIR(st.st_mode) ? kAttributeFolder : kAttributeNormal;
}

std::optional<long long> FileSize(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return static_cast<long long>(st.st_size);
}

long ReadSome(int fd, char* buffer, size_t count) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, count);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

long ReadSomeAt(int fd, char* buffer, size_t count, long long offset) {
    for (;;) {
        ssize_t n = ::pread(fd, buffer, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

UniqueFd OpenWithoutLinks(const std::string& path, int* error) {
    open_how how{};
    how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    how.resolve = RESOLVE_NO_SYMLINKS;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error) *error = errno;
        return UniqueFd();
    }
    return UniqueFd(static_cast<int>(fd));
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadWholeFile(int fd) {
    std::string text;
    auto size = FileSize(fd);
    if (size && *size > 0) text.reserve(static_cast<size_t>(*size));
    char chunk[65536];
    for (;;) {
        long n = ReadSomeAt(fd, chunk, sizeof chunk, static_cast<long long>(text.size()));
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    return text;
}

std::optional<std::vector<std::string>> ReadFolderNames(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

std::optional<std::pair<size_t, std::string>> FindFileIgnoringCase(const std::string& folder,
                                                                   const std::vector<std::string>& names,
                                                                   const std::vector<std::string>& wanted) {
    std::optional<std::pair<size_t, std::string>> best;
    for (const std::string& name : names) {
        const size_t limit = best ? best->first : wanted.size();
        for (size_t rank = 0; rank < limit; ++rank) {
            if (!EqualsIgnoringAsciiCase(name, wanted[rank])) continue;
            if (FileAttributes(folder + "/" + name) == kAttributeNormal) best = std::make_pair(rank, name);
            break;
        }
    }
    return best;
}

}  // namespace tarnhollow
