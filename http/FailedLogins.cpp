// Counting failed logins and the wait that follows them.
#include "http/FailedLogins.h"

#include <algorithm>

#include "http/Limits.h"

namespace tarnhollow {

namespace {

constexpr auto kWindow = std::chrono::minutes(1);
// The counter that addresses share once the table is full.
constexpr wchar_t kOverflowAddress[] = L"*";

}  // namespace

FailedLogins::Clock::duration FailedLogins::Delay(const std::wstring& address, Clock::time_point now) {
    auto found = records_.find(address);
    if (found == records_.end() && records_.size() >= limits::kMaxCountedClients) found = records_.find(kOverflowAddress);
    if (found == records_.end() || found->second.failures < limits::kFailedLoginsPerMinute) return Clock::duration::zero();
    if (now - found->second.lastFailure >= kWindow) {
        records_.erase(found);
        return Clock::duration::zero();
    }
    const int doublings = std::min(found->second.failures - limits::kFailedLoginsPerMinute, 5);
    const auto delay = std::chrono::seconds(1LL << doublings);
    return std::min<Clock::duration>(delay, std::chrono::seconds(limits::kMaxLoginDelaySeconds));
}

bool FailedLogins::RecordFailure(const std::wstring& address, Clock::time_point now) {
    if (!records_.contains(address) && records_.size() >= limits::kMaxCountedClients) Prune(now);
    const std::wstring& key =
        records_.contains(address) || records_.size() < limits::kMaxCountedClients ? address : kOverflowAddress;
    Record& record = records_[key];
    const bool waiting = record.failures >= limits::kFailedLoginsPerMinute;
    // A quiet minute starts the count again: after the window for an address that was
    // not waiting yet, after the last failure for one that was.
    if (record.failures > 0 && now - (waiting ? record.lastFailure : record.windowStart) >= kWindow) record.failures = 0;
    if (record.failures == 0) record.windowStart = now;
    ++record.failures;
    record.lastFailure = now;
    return record.failures == limits::kFailedLoginsPerMinute;
}

void FailedLogins::RecordSuccess(const std::wstring& address) { records_.erase(address); }

void FailedLogins::Prune(Clock::time_point now) {
    std::erase_if(records_, [now](const auto& entry) { return now - entry.second.lastFailure >= kWindow; });
}

}  // namespace tarnhollow
