// Which folder's .pass protects a path below the document root, and that file's entries,
// read once and kept while the file is unchanged.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "http/PasswordFile.h"

namespace tarnhollow {

struct Protection {
    enum class Kind {
        // No .pass in the path's folder or any folder above it up to the document root.
        None,
        // The nearest .pass is `folder`'s, with these entries (perhaps none: then no
        // password opens it).
        Protected,
        // The nearest .pass cannot be read: the folder is refused to everyone.
        Unreadable,
    };
    Kind kind = Kind::None;
    // The folder holding the .pass, absolute, without a trailing "/".
    std::string folder;
    std::shared_ptr<const std::vector<PasswordEntry>> entries;
};

class PasswordFolders {
public:
    // `root`: the document root, absolute, without a trailing "/" (empty for "/").
    explicit PasswordFolders(std::string root) : root_(std::move(root)) {}

    // The protection of `path` (absolute, below the root): a folder counts its own .pass,
    // a file starts at its folder. Costs one status query per folder from there up to the
    // root (the nearest .pass ends the walk); a .pass is read again only when its size,
    // modification or change time or identity changed.
    Protection Find(std::wstring_view path, bool isFolder);

private:
    struct Cached {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        std::shared_ptr<const std::vector<PasswordEntry>> entries;
    };
    // The .pass of `folder` as found in `scratch_`: Protected, Unreadable, or None when
    // there is none.
    Protection Examine(size_t folderLength);

    std::string root_;
    std::string scratch_;
    std::unordered_map<std::string, Cached> cache_;
};

}  // namespace tarnhollow
