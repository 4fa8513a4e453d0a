// The router: offers a GET to the built-in services in their fixed order, then builds a
// page-kind file into the file template or streams any other file as it is.
#include "pages/Router.h"

#include <unistd.h>

#include "http/FileAnswer.h"
#include "http/ResponseWriter.h"
#include "http/TextFiles.h"
#include "pages/FolderListing.h"
#include "pages/PageBuilder.h"
#include "platform/File.h"

namespace tarnhollow {

namespace {

bool OfferTo(const std::vector<ServiceHandler*>& services, CRequest& request) {
    for (ServiceHandler* service : services) {
        if (service->Handle(request)) return true;
    }
    return false;
}

}  // namespace

Router::Router(SiteState& site) : site_(site) {}

void Router::AddPageService(ServiceHandler* service) { pageServices_.push_back(service); }

void Router::AddFileService(ServiceHandler* service) { fileServices_.push_back(service); }

void Router::Route(CRequest& request) {
    ResponseSink& response = *request.response;
    if (!response.file.IsOpen()) {
        if (request.attributes >= 0 && (request.attributes & kAttributeFolder)) {
            ListFolder(request);
        } else {
            EndHeaders(request);
        }
        return;
    }
    if (thumbnails_ && thumbnails_->Handle(request)) return;
    const bool pageKind = IsTextFile(request);
    bool handled = pageKind && OfferTo(pageServices_, request);
    if (!handled) handled = OfferTo(fileServices_, request);
    // A service finishing its answer later may still need the file.
    if (response.deferred) return;
    if (!handled && pageKind) {
        WriteLastModified(request);
        handled = BuildPage(request, site_);
        if (!handled) {
            ServeFileAsIs(request, false);
            return;
        }
    }
    if (handled) {
        response.file.Reset();
        return;
    }
    ServeFileAsIs(request);
}

void ServeFileAsIs(CRequest& request, bool withLastModified) {
    if (withLastModified) WriteLastModified(request);
    // From the file's first byte, whatever a service or the page builder read of it
    // before declining.
    StreamFile(request);
}

}  // namespace tarnhollow
