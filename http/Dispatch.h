// Deciding, once a request is complete, how it is answered: by method.
#pragma once

#include "http/Request.h"

namespace tarnhollow {

// Answers the complete request into its response sink. GET, HEAD and POST are served;
// everything else is answered 501.
void Dispatch(CRequest& request);

}  // namespace tarnhollow
