// Marking an answer as finished later.
#include "http/PendingAnswer.h"

#include "http/Request.h"

namespace tarnhollow {

bool DeferAnswer(CRequest& request, PendingAnswer& answer) {
    ResponseSink& sink = *request.response;
    if (!sink.resumer) return false;
    sink.deferred = true;
    answer = PendingAnswer(sink.resumer->Token());
    return true;
}

void CancelDeferral(CRequest& request) { request.response->deferred = false; }

}  // namespace tarnhollow
