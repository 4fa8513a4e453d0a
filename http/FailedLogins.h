// Failed logins counted per client address: after too many in a minute, that address's
// answers to protected requests wait, for longer with every further failure.
#pragma once

#include <chrono>
#include <string>
#include <unordered_map>

namespace tarnhollow {

class FailedLogins {
public:
    using Clock = std::chrono::steady_clock;

    // How long an answer to `address` for a protected request waits now: zero until
    // kFailedLoginsPerMinute failures within a minute, then 1 s doubling with each further
    // failure up to kMaxLoginDelaySeconds, until a minute passes without one.
    Clock::duration Delay(const std::wstring& address, Clock::time_point now);
    // Counts a failure; true when it is the one that makes the address wait.
    bool RecordFailure(const std::wstring& address, Clock::time_point now);
    // A success forgets the address's failures.
    void RecordSuccess(const std::wstring& address);

private:
    struct Record {
        Clock::time_point windowStart;
        Clock::time_point lastFailure;
        int failures = 0;
    };
    void Prune(Clock::time_point now);

    std::unordered_map<std::wstring, Record> records_;
};

}  // namespace tarnhollow
