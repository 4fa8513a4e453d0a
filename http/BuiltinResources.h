// The built-in resources: the icons and style sheet every listing and page refers to,
// served from the program's own resources whatever the document root holds.
#pragma once

#include "http/Request.h"

namespace tarnhollow {

// Answers the built-in resource paths from the program's resources (GET only), the
// favicon only while the document root holds none of its own;
// false when the URL names none of them.
bool ServeBuiltin(CRequest& request);

}  // namespace tarnhollow
