// The few operations every response is written through: status block, header lines,
// the end of the head, and complete error responses (the dates they carry come from
// http/HttpDate.h).
#pragma once

#include <string>
#include <string_view>

#include "http/Request.h"

namespace tarnhollow {

// Status ids: the HTTP status code plus 4000, the string table's ids of the reason texts.
enum StatusId : unsigned {
    kStatusOk = 4200,
    kStatusPartialContent = 4206,
    kStatusMovedPermanently = 4301,
    kStatusRedirection = 4302,
    kStatusNotModified = 4304,
    kStatusBadRequest = 4400,
    kStatusUnauthorized = 4401,
    kStatusForbidden = 4403,
    kStatusNotFound = 4404,
    kStatusRangeNotSatisfiable = 4416,
    kStatusNotImplemented = 4501,
    kStatusServiceUnavailable = 4503,
};

inline constexpr unsigned kStringServerToken = 3003;

// Status line, then `Server` and `Date`; stores `id` as the request's status.
void WriteStatus(CRequest& request, unsigned id);
void WriteHeader(CRequest& request, std::wstring_view name, std::wstring_view value);
void WriteHeaderNumber(CRequest& request, std::wstring_view name, long long n);
void EndHeaders(CRequest& request);
// A complete error response: status block, blank line, the status text as body.
void WriteError(CRequest& request, unsigned id);

}  // namespace tarnhollow
