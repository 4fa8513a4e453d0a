// Capturing, shrinking and sending the screen as PNG.
#include "pages/ScreenshotService.h"

#include <limits>

#include "http/ResponseWriter.h"
#include "pages/DefaultDocument.h"
#include "pages/PageBuilder.h"
#include "pages/PngEncoder.h"
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

}  // namespace

ScreenshotService::ScreenshotService(SiteState& site, ScreenCapture& screen) : site_(site), screen_(screen) {}

bool ScreenshotService::Handle(CRequest& request) {
    if (!request.urlPath.starts_with(kPrefix)) return false;
    if (IsDefaultDocument(request.filePath)) return BuildPage(request, site_);
    const int width = NumberParameter(request, L"width");
    const int height = NumberParameter(request, L"height");
    auto image = screen_.CaptureScreen();
    if (!image) return false;
    // Shrunk before encoding, so a thumbnail costs a small PNG.
    if (width != 0 && height != 0) ShrinkToFit(*image, width, height);
    const auto png = EncodePng(*image);
    if (!png) return false;
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(png->size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(*png);
    return true;
}

}  // namespace tarnhollow
