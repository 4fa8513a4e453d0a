// The screenshot service: files under "/ScreenShot/" are answered with a PNG of the
// screen as it is now, shrunk to the "width" by "height" box when both are given.
#pragma once

#include "http/ServerContext.h"
#include "pages/SiteState.h"
#include "platform/ScreenCapture.h"

namespace tarnhollow {

class ScreenshotService : public ServiceHandler {
public:
    // Not owned: the server's page strings and the screen capture.
    ScreenshotService(SiteState& site, ScreenCapture& screen);

    // Not handled when no picture can be taken or encoded: the router then serves the
    // mapped file itself, the placeholder picture.
    bool Handle(CRequest& request) override;

private:
    SiteState& site_;
    ScreenCapture& screen_;
};

}  // namespace tarnhollow
