// Finding the .pass that protects a path, and reading it once per change.
#include "http/PasswordFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "http/Limits.h"
#include "platform/File.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr std::string_view kPassName = "/.pass";

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

Protection PasswordFolders::Find(std::wstring_view path, bool isFolder) {
    // Reused, so that walking the folders allocates nothing once it has grown.
    scratch_.clear();
    AppendAnsi(scratch_, path);
    const bool inside = scratch_.compare(0, root_.size(), root_) == 0 &&
                        (scratch_.size() == root_.size() || scratch_[root_.size()] == '/');
    if (!inside) return {};
    if (!isFolder) {
        const size_t slash = scratch_.rfind('/');
        scratch_.resize(slash == std::string::npos || slash < root_.size() ? root_.size() : slash);
    }
    while (true) {
        Protection found = Examine(scratch_.size());
        if (found.kind != Protection::Kind::None) return found;
        if (scratch_.size() <= root_.size()) return {};
        const size_t slash = scratch_.rfind('/');
        scratch_.resize(slash == std::string::npos || slash < root_.size() ? root_.size() : slash);
    }
}

Protection PasswordFolders::Examine(size_t folderLength) {
    scratch_.resize(folderLength);
    scratch_ += kPassName;
    struct stat info {};
    int result = ::fstatat(AT_FDCWD, scratch_.c_str(), &info, AT_SYMLINK_NOFOLLOW);
    const int error = result == 0 ? 0 : errno;
    scratch_.resize(folderLength);
    // The usual case: no .pass here, and nothing allocated to say so. A name that is too
    // long, or leads through a file, holds no .pass either (a URL for nothing).
    if (result != 0 && (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG)) return {};
    Protection protection;
    protection.folder.assign(scratch_, 0, folderLength);
    protection.kind = Protection::Kind::Unreadable;
    // Any doubt (a folder that cannot be searched, a link that leads nowhere, a .pass
    // that is not a file or is too large) refuses the folder: failing open would
    // publish what the owner meant to hide.
    if (result != 0) return protection;
    const std::string passPath = protection.folder + std::string(kPassName);
    if (S_ISLNK(info.st_mode) && ::stat(passPath.c_str(), &info) != 0) return protection;
    if (!S_ISREG(info.st_mode) || info.st_size > limits::kMaxPassFileBytes) return protection;
    auto cached = cache_.find(protection.folder);
    if (cached != cache_.end() && cached->second.device == info.st_dev && cached->second.inode == info.st_ino &&
        cached->second.size == info.st_size && SameTime(cached->second.modified, info.st_mtim) &&
        SameTime(cached->second.changed, info.st_ctim)) {
        protection.kind = Protection::Kind::Protected;
        protection.entries = cached->second.entries;
        return protection;
    }
    UniqueFd file(::open(passPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.IsOpen()) return protection;
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t have = 0;
    while (have < text.size()) {
        const long n = ReadSomeAt(file.Get(), text.data() + have, text.size() - have, static_cast<long long>(have));
        if (n <= 0) break;
        have += static_cast<size_t>(n);
    }
    if (have != text.size()) return protection;
    auto entries = std::make_shared<const std::vector<PasswordEntry>>(ParsePasswordFile(text));
    // A root with very many protected folders keeps only the recent ones.
    if (cache_.size() >= limits::kMaxCachedPassFiles) cache_.clear();
    cache_[protection.folder] = Cached{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim, entries};
    protection.kind = Protection::Kind::Protected;
    protection.entries = std::move(entries);
    return protection;
}

}  // namespace tarnhollow
