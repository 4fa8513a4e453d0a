// Deciding, once a request is complete, how it is answered: by method.
#pragma once

#include "http/Request.h"

namespace tarnhollow {

// Answers the complete request into its response sink. GET, HEAD and POST are served;
// everything else is answered 501.
void Dispatch(CRequest& request);

// The rest of the answer once the URL is mapped and the folder passwords let the request
// through (also when that was decided later, off the server thread).
void AnswerMapped(CRequest& request);

}  // namespace tarnhollow
