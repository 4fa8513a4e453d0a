// Errors and redirects in place of a started file answer.
#include "pages/ReplacementAnswer.h"

#include "http/PercentEncoding.h"
#include "http/ResponseWriter.h"

namespace tarnhollow {

void DiscardStartedAnswer(CRequest& request) {
    request.response->buffer.SetPending(0);
    request.response->file.Reset();
}

void ReplaceWithError(CRequest& request, unsigned id) {
    DiscardStartedAnswer(request);
    WriteError(request, id);
}

void RedirectToRequestPath(CRequest& request) {
    DiscardStartedAnswer(request);
    WriteStatus(request, kStatusRedirection);
    WriteHeader(request, L"Location", PercentEncode(request.urlPath, PercentSet::Link));
    EndHeaders(request);
}

}  // namespace tarnhollow
