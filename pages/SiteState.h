// The strings of the server that the pages use: the blog notification sound, the map
// service key and the URL path of the last blog post. Owned by the server object.
#pragma once

#include <string>

namespace tarnhollow {

struct SiteState {
    std::wstring blogSound;
    std::wstring mapKey;
    std::wstring lastBlogPostPath;
};

}  // namespace tarnhollow
