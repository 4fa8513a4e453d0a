// The GPS pages: page-kind files under "/FindMe/" and "/NearMe/" get the current fix and
// the state of the search, those under "/TraceMe/" the track, one item per fix.
#pragma once

#include "gps/GpsReader.h"
#include "pages/ServiceHandler.h"
#include "pages/SiteState.h"

namespace tarnhollow {

class GpsPages : public ServiceHandler {
public:
    // Not owned: the server's page strings (the map key) and the one GPS reader.
    GpsPages(SiteState& site, GpsReader& reader);

    // Also restarts a search that gave up, so that visiting a page resumes it. Takes
    // the reader's guards only to copy its texts and track.
    bool Handle(CRequest& request) override;

private:
    SiteState& site_;
    GpsReader& reader_;
};

}  // namespace tarnhollow
