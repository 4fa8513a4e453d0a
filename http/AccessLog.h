// The access log: one line per answered request in the Combined Log Format. Values of
// password-like query parameters are masked and no credentials are ever written.
#pragma once

#include <ctime>
#include <string>

#include "http/Request.h"
#include "platform/LogFile.h"

namespace tarnhollow {

// The line (with its line feed) for `request`, answered with `bodyBytes` bytes after the
// head, received at `when`.
std::string FormatAccessLine(const CRequest& request, long long bodyBytes, std::time_t when);

// The query as it came, with the value of every parameter whose name holds "pass",
// "pwd" or "secret" (ignoring case) replaced by "*".
std::string MaskedQuery(std::wstring_view rawQuery);

class AccessLog {
public:
    explicit AccessLog(LogFile& file) : file_(file) {}
    void Record(const CRequest& request, long long bodyBytes, std::time_t when) {
        file_.Append(FormatAccessLine(request, bodyBytes, when));
    }

private:
    LogFile& file_;
};

}  // namespace tarnhollow
