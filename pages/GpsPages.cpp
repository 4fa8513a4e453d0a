// The GPS pages built from copies of the reader's texts and track.
#include "pages/GpsPages.h"

#include "http/HttpDate.h"
#include "http/ResponseWriter.h"
#include "http/UrlMapping.h"
#include "pages/PageBuilder.h"

namespace tarnhollow {

namespace {

constexpr wchar_t kFindMePrefix[] = L"/FindMe/";
constexpr wchar_t kNearMePrefix[] = L"/NearMe/";
constexpr wchar_t kTraceMePrefix[] = L"/TraceMe/";
constexpr char kItemMarker[] = "<gpsitem>";
constexpr long long kMillisecondsPerSecond = 1000;

}  // namespace

GpsPages::GpsPages(SiteState& site, GpsReader& reader) : site_(site), reader_(reader) {}

bool GpsPages::Handle(CRequest& request) {
    const std::wstring path = MappedUrlPath(request);
    const bool track = path.starts_with(kTraceMePrefix);
    if (!track && !path.starts_with(kFindMePrefix) && !path.starts_with(kNearMePrefix)) return false;
    reader_.StartReading();
    // The page is fresh until the reader's next wake: a second while it searches,
    // longer while it reads a receiver.
    WriteHeader(request, L"Expires", FormatHttpDate(std::nullopt, reader_.Period() / kMillisecondsPerSecond));
    Substitutions substitutions;
    substitutions.valueMarkers = {"<gpstime>", "<longitude>", "<latitude>", "<gpshardware>"};
    substitutions.mapsKey = true;
    if (track) {
        substitutions.itemMarker = kItemMarker;
        for (GpsFix& fix : reader_.Track()) substitutions.records.push_back(std::move(fix.texts));
    } else {
        GpsTexts texts = reader_.CurrentTexts();
        substitutions.records.push_back({std::move(texts.time), std::move(texts.longitude), std::move(texts.latitude),
                                         std::move(texts.hardware)});
    }
    return BuildPage(request, site_, substitutions);
}

}  // namespace tarnhollow
