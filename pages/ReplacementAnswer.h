// Replacing the file answer a service was handed (head written, file open) by an
// error or by a redirect back to the page the browser came from.
#pragma once

#include "http/Request.h"

namespace tarnhollow {

// Drops whatever was written so far and the open file, so that a service can write
// an answer of its own from the status line on.
void DiscardStartedAnswer(CRequest& request);

// Drops whatever was written so far and the open file, then writes the complete error
// response of status `id`.
void ReplaceWithError(CRequest& request, unsigned id);

// Drops whatever was written so far and the open file, then writes "302 Redirection"
// with a Location of the request's URL path, percent-encoded and without the query, and
// the blank line; no body.
void RedirectToRequestPath(CRequest& request);

}  // namespace tarnhollow
