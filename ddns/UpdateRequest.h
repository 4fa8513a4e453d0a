// One update request to the dynamic DNS update host over libcurl, made on the update
// worker: the request target's encoding, and what came back.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace tarnhollow {

// The most of the answer's body that is read; the rest is not waited for.
inline constexpr size_t kAnswerBodyLimit = 1022;

// "/nic/update?hostname=NAME.DOMAIN&myip=ADDRESS" in UTF-8, every byte below 0x21 or
// from 0x80 up written as "%XX"; "&", "=", "?", "/" and "%" pass unchanged.
std::string FormatUpdateTarget(std::wstring_view name, std::wstring_view domain, std::wstring_view address);

// DNS_UpdateHost as "scheme://host[:port]" for the request URL: https, or http for a
// local test server or a provider without TLS. Empty when the value is anything else.
std::string UsableUpdateHost(std::wstring_view setting);

struct UpdateRequest {
    std::string url;
    std::string user;
    std::string password;
    std::string userAgent;
    long connectMilliseconds = 10000;
    long totalMilliseconds = 30000;
};

struct UpdateExchange {
    enum class Outcome {
        NoRequest,        // no request object could be made
        Unavailable,      // no connection was made (name, route, refused, time-out)
        ConnectionError,  // connected, then sending or reading failed: `error` says how
        Answered,         // `code` and the first part of `body` arrived
    };
    Outcome outcome = Outcome::NoRequest;
    long code = 0;
    std::string body;
    int error = 0;
};

// Makes the request; returns early once `cancelled` is set. Certificates are verified;
// redirects are not followed.
UpdateExchange PerformUpdateRequest(const UpdateRequest& request, const std::atomic<bool>& cancelled);

}  // namespace tarnhollow
