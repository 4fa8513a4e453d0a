// Capturing, shrinking and sending the screen as PNG.
#include "pages/ScreenshotService.h"

#include <limits>

#include "http/DefaultDocuments.h"
#include "http/PendingAnswer.h"
#include "http/ResponseWriter.h"
#include "http/UrlMapping.h"
#include "pages/PageBuilder.h"
#include "pages/PngEncoder.h"
#include "pages/ReplacementAnswer.h"
#include "pages/Router.h"
#include "pages/ShrinkToFit.h"

namespace tarnhollow {

namespace {

constexpr wchar_t kPrefix[] = L"/ScreenShot/";

// A decimal parameter as "%d" reads it; missing or not a number gives 0.
int NumberParameter(const CRequest& request, const wchar_t* name) {
    const auto found = request.parameters.find(name);
    if (found == request.parameters.end()) return 0;
    const long long n = ParseSignedDecimal(found->second);
    if (n > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (n < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(n);
}

// On the server thread, once the display's thread is done.
void FinishScreenshot(CRequest& request, const std::optional<std::string>& png) {
    if (!png) {
        ServeFileAsIs(request);
        return;
    }
    request.response->file.Reset();
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(png->size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(*png);
}

}  // namespace

ScreenshotService::ScreenshotService(SiteState& site, ScreenCapture& screen, BackgroundQueue& display)
    : site_(site), screen_(screen), display_(display) {}

bool ScreenshotService::Handle(CRequest& request) {
    if (!MappedUrlPath(request).starts_with(kPrefix)) return false;
    if (IsDefaultDocument(request.filePath)) return BuildPage(request, site_);
    const int width = NumberParameter(request, L"width");
    const int height = NumberParameter(request, L"height");
    PendingAnswer answer;
    if (!DeferAnswer(request, answer)) {
        ReplaceWithError(request, kStatusServiceUnavailable);
        return true;
    }
    const bool queued = display_.Run([&screen = screen_, &display = display_, answer, width, height] {
        std::optional<std::string> png;
        if (auto image = screen.CaptureScreen()) {
            // Shrunk before encoding, so a thumbnail costs a small PNG.
            if (width != 0 && height != 0) ShrinkToFit(*image, width, height);
            png = EncodePng(*image);
        }
        display.PostToServer([answer, png = std::move(png)] {
            answer.Finish([&png](CRequest& finished) { FinishScreenshot(finished, png); });
        });
    });
    if (!queued) {
        CancelDeferral(request);
        ReplaceWithError(request, kStatusServiceUnavailable);
    }
    return true;
}

}  // namespace tarnhollow
