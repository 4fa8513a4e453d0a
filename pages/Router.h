// The router: what the body of a successful GET is. Services are offered the request in
// a fixed order (GPS pages, remote control, blog for page-kind files; then the
// screenshot service for every file); otherwise a page-kind file is built into the file
// template and any other file is streamed raw. Which step writes which header of the
// answer is set out once, in http/FileAnswer.h.
#pragma once

#include <vector>

#include "http/ServerContext.h"
#include "pages/ServiceHandler.h"
#include "pages/SiteState.h"

namespace tarnhollow {

class Router : public ContentRouter {
public:
    explicit Router(SiteState& site);

    // Services offered page-kind files, in the order added (GPS pages, remote
    // control, blog). Not owned.
    void AddPageService(ServiceHandler* service);
    // Services offered every file, after the page services (the screenshot). Not owned.
    void AddFileService(ServiceHandler* service);
    // Offered every file before any other service: it takes the "?thumb" requests of
    // pictures. Not owned.
    void SetThumbnailService(ServiceHandler* service) { thumbnails_ = service; }

    void Route(CRequest& request) override;

private:
    SiteState& site_;
    std::vector<ServiceHandler*> pageServices_;
    std::vector<ServiceHandler*> fileServices_;
    ServiceHandler* thumbnails_ = nullptr;
};

// The open file as it is, from its first byte: Last-Modified (unless already written),
// Content-Length and the body. What the router does when no service and no page builder
// took the file, and what a deferred service does when it cannot answer after all.
void ServeFileAsIs(CRequest& request, bool withLastModified = true);

}  // namespace tarnhollow
