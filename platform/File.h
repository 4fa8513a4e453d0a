// Files as the server sees them: an owned descriptor, attributes in the system's own
// terms (folder bit 0x10, hidden bit 0x02, -1 when nothing exists) and last-write times.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnhollow {

inline constexpr int kAttributeHidden = 0x02;
inline constexpr int kAttributeFolder = 0x10;
inline constexpr int kAttributeNormal = 0x80;

// An open file descriptor, closed when the object goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    int Release();
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// Attributes of `path`: kAttributeFolder for a folder, kAttributeNormal for anything
// else that exists, -1 when it does not. Hidden is judged by the caller, who knows
// where the document root ends.
int FileAttributes(const std::string& path, int* error = nullptr);

// The absolute path of `path` with every symbolic link, "." and ".." resolved; nothing
// when it does not exist.
std::optional<std::string> ResolvedPath(const std::string& path);

// What the server needs to know of an open file.
struct FileInfo {
    long long size = 0;
    std::time_t lastWriteTime = 0;
};

// Opens an existing regular file for reading; an invalid descriptor on failure. Fills
// `info` (when given) from the same status query.
UniqueFd OpenForReading(const std::string& path, FileInfo* info = nullptr);

// Attributes of an open file (kAttributeFolder or kAttributeNormal, -1 on failure) with
// its size and last-write time in `info`; `regular` tells a regular file from the rest.
int DescriptorAttributes(int fd, FileInfo& info, bool& regular);

// Size of an open file.
std::optional<long long> FileSize(int fd);

// Reads up to `count` bytes at the file's current position; 0 at the end, -1 on error.
long ReadSome(int fd, char* buffer, size_t count);
// The same at `offset`, leaving the file's position alone.
long ReadSomeAt(int fd, char* buffer, size_t count, long long offset);

// Opens an existing file or folder for reading when no component of `path` is a
// symbolic link (one system call, where resolving the path would take one per
// component); an invalid descriptor on failure, with the errno value in `error`:
// ELOOP when a link is on the way, ENOSYS where the system cannot check.
UniqueFd OpenWithoutLinks(const std::string& path, int* error);

// Writes all of `bytes`, retrying short writes; false when the file takes no more.
bool WriteAll(int fd, std::string_view bytes);

// Reads a whole open file from its start; nothing when reading fails.
std::optional<std::string> ReadWholeFile(int fd);

// The names `folder` holds, "." and ".." left out, in the order the file system gives
// them; nothing when it cannot be read. One pass over the folder, however large.
std::optional<std::vector<std::string>> ReadFolderNames(const std::string& folder);

// Of `wanted`, in order of preference, the first that names a file (not a folder) among
// `names`, the names read from `folder`, when ASCII letter case is ignored: its index in
// `wanted` and its name as it is on disk. Only a name that matches costs a status query.
std::optional<std::pair<size_t, std::string>> FindFileIgnoringCase(const std::string& folder,
                                                                   const std::vector<std::string>& names,
                                                                   const std::vector<std::string>& wanted);

}  // namespace tarnhollow
