// Thumbnails of the pictures in folder listings: "picture.jpg?thumb" is answered with a
// small JPEG of the picture, made off the server thread and kept in the thumbnail cache;
// a file that cannot be decoded is answered with the file icon.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pages/ServiceHandler.h"
#include "pages/ThumbnailCache.h"
#include "platform/BackgroundQueue.h"

namespace tarnhollow {

// Thumbnails fit this square (twice the size a listing shows them at, for sharp
// screens).
inline constexpr int kThumbnailSide = 96;
inline constexpr int kThumbnailQuality = 80;

// The thumbnail of the picture in `pictureBytes` as JPEG; nothing when the bytes are no
// picture that can be decoded.
std::optional<std::string> MakeThumbnail(std::string_view pictureBytes);

class ThumbnailService : public ServiceHandler {
public:
    // Not owned: the queue whose thread decodes; thumbnails are cached under `cacheFolder`.
    ThumbnailService(BackgroundQueue& queue, std::string cacheFolder);

    // Takes the "thumb" requests of JPEG and PNG names. A cached thumbnail is sent at
    // once; otherwise the answer waits for the queue (503 when it is full).
    bool Handle(CRequest& request) override;

private:
    BackgroundQueue& queue_;
    ThumbnailCache cache_;
};

}  // namespace tarnhollow
