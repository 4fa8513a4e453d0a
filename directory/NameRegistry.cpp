// Registering, renewing and expiring names, with the per-address and table limits.
#include "directory/NameRegistry.h"

#include "directory/DirectoryLimits.h"
#include "directory/HostNames.h"

namespace tarnhollow::directory {

NameRegistry::Result NameRegistry::Register(std::string_view name, const Ipv4Endpoint& source,
                                            Clock::time_point now) {
    if (!IsDnsName(name)) return {Outcome::Invalid, {}};
    const std::string key = NormalizedName(name);
    auto held = names_.find(key);
    if (held != names_.end() && now - held->second.lastSeen > lifetime_) {
        Remove(held);
        held = names_.end();
    }
    if (held != names_.end()) {
        if (held->second.source != source) return {Outcome::Held, {}};
        held->second.lastSeen = now;
        order_.splice(order_.end(), order_, held->second.order);
        return {Outcome::Renewed, {}};
    }
    Result result{Outcome::Registered, {}};
    // A device that changed its public name gives up the old one.
    if (auto previous = bySource_.find(SourceKey(source)); previous != bySource_.end()) {
        result.released = previous->second->first;
        Remove(previous->second);
    }
    if (names_.size() >= kMaxNames || perAddress_[source.address] >= kMaxNamesPerAddress) {
        if (perAddress_[source.address] == 0) perAddress_.erase(source.address);
        return {Outcome::OverLimit, result.released};
    }
    const auto entry = names_.emplace(key, Entry{source, now, {}}).first;
    entry->second.order = order_.insert(order_.end(), entry);
    bySource_[SourceKey(source)] = entry;
    ++perAddress_[source.address];
    return result;
}

std::optional<Ipv4Endpoint> NameRegistry::Find(std::string_view name, Clock::time_point now) const {
    const auto found = names_.find(NormalizedName(name));
    if (found == names_.end() || now - found->second.lastSeen > lifetime_) return std::nullopt;
    return found->second.source;
}

std::vector<std::string> NameRegistry::Expire(Clock::time_point now) {
    std::vector<std::string> expired;
    while (!order_.empty() && now - order_.front()->second.lastSeen > lifetime_) {
        expired.push_back(order_.front()->first);
        Remove(order_.front());
    }
    return expired;
}

std::optional<NameRegistry::Clock::time_point> NameRegistry::NextExpiry() const {
    if (order_.empty()) return std::nullopt;
    return order_.front()->second.lastSeen + lifetime_;
}

void NameRegistry::Remove(Names::iterator entry) {
    const Ipv4Endpoint source = entry->second.source;
    bySource_.erase(SourceKey(source));
    if (--perAddress_[source.address] == 0) perAddress_.erase(source.address);
    order_.erase(entry->second.order);
    names_.erase(entry);
}

}  // namespace tarnhollow::directory
