// A browser's request as the directory host reads it: whole, head and Content-Length
// body, within what one relay message carries. Only what choosing its way needs is
// parsed (method, target, Host); the device gets the bytes as they came.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnhollow::directory {

struct BrowserRequest {
    enum class State {
        Incomplete,  // more bytes are due
        Complete,    // `size` bytes make the request
        Malformed,   // answered 400
        TooLarge,    // answered 413
    };
    State state = State::Incomplete;
    size_t size = 0;
    std::string method;
    std::string path;   // the target up to "?"
    std::string query;  // after "?", still percent-encoded
    std::string host;   // the Host header's value, trimmed
};

// Parses the bytes received so far. A head ends at an empty line (CR LF or LF line
// ends); a request longer than `maxBytes` is TooLarge as soon as that is known.
BrowserRequest ParseBrowserRequest(std::string_view received, size_t maxBytes);

}  // namespace tarnhollow::directory
