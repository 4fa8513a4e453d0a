// A built-in service of the pages layer (remote control, blog, screenshot) as the
// router offers requests to it.
#pragma once

namespace tarnhollow {

struct CRequest;

// Offered a GET whose head the file layer has begun (see http/FileAnswer.h): it
// returns true when it has written every remaining header, the blank line and the
// whole body, or a complete replacement response, or has deferred the answer.
class ServiceHandler {
public:
    virtual ~ServiceHandler() = default;
    virtual bool Handle(CRequest& request) = 0;
};

}  // namespace tarnhollow
