// The thumbnail cache: one file per picture version under the user's cache folder,
// named by a hash of the picture's path, size and last-write time, so that a changed
// picture gets a new thumbnail and an unchanged one is never decoded again.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace tarnhollow {

class ThumbnailCache {
public:
    // `folder` ends in "/"; it is created (mode 0700) when the first thumbnail is stored.
    explicit ThumbnailCache(std::string folder) : folder_(std::move(folder)) {}

    // The cache file for this version of the picture at `picturePath`.
    std::string FileFor(std::string_view picturePath, long long size, std::time_t lastWrite) const;

    // Writes `bytes` as `file` atomically (a temporary file renamed into place), so a
    // reader sees a whole thumbnail or none. Empty bytes record a file that is no
    // picture. False when the folder or the file cannot be written.
    bool Store(const std::string& file, std::string_view bytes) const;

    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

}  // namespace tarnhollow
