// The screenshot service: files under "/ScreenShot/" are answered with a PNG of the
// screen as it is now, shrunk to the "width" by "height" box when both are given.
#pragma once

#include "pages/ServiceHandler.h"
#include "pages/SiteState.h"
#include "platform/BackgroundQueue.h"
#include "platform/ScreenCapture.h"

namespace tarnhollow {

class ScreenshotService : public ServiceHandler {
public:
    // Not owned: the server's page strings, the screen capture, and the queue whose
    // thread alone uses the display.
    ScreenshotService(SiteState& site, ScreenCapture& screen, BackgroundQueue& display);

    // The capture, shrinking and encoding run on the display's thread and the answer is
    // finished when they are done; meanwhile the server thread serves others. When no
    // picture can be taken or encoded the mapped file itself, the placeholder picture,
    // is sent; when the queue is full the answer is "503 Service Unavailable".
    bool Handle(CRequest& request) override;

private:
    SiteState& site_;
    ScreenCapture& screen_;
    BackgroundQueue& display_;
};

}  // namespace tarnhollow
