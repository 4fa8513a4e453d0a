// Capture of the whole screen of the X display named by DISPLAY as 24-bit RGB.
#pragma once

#include <optional>

#include "platform/RgbImage.h"
#include "platform/XDisplayConnection.h"

namespace tarnhollow {

class ScreenCapture {
public:
    ScreenCapture() = default;
    virtual ~ScreenCapture() = default;
    ScreenCapture(const ScreenCapture&) = delete;
    ScreenCapture& operator=(const ScreenCapture&) = delete;

    // The root window of the default screen, whatever the display's own depth; nothing
    // without a display, or for a display whose pixels are not true colour.
    virtual std::optional<RgbImage> CaptureScreen();

private:
    XDisplayConnection display_;
};

}  // namespace tarnhollow
