// The registrations: each public name to the UDP source that last registered it, kept
// as soft state that expires when the device stops repeating it. Pure: the caller
// gives the time.
#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/AsyncDatagram.h"

namespace tarnhollow::directory {

class NameRegistry {
public:
    using Clock = std::chrono::steady_clock;

    enum class Outcome {
        Registered,  // new here, or back from another source after it expired
        Renewed,     // the same source again
        Held,        // another live source holds the name; nothing changed
        Invalid,     // not a DNS name
        OverLimit,   // the table, or this source's address, holds all it may
    };
    struct Result {
        Outcome outcome = Outcome::Invalid;
        // The name this source held before, given up for the new one.
        std::string released;
    };

    explicit NameRegistry(Clock::duration lifetime) : lifetime_(lifetime) {}

    Result Register(std::string_view name, const Ipv4Endpoint& source, Clock::time_point now);
    // The live source of a name (any case, with or without its trailing dot).
    std::optional<Ipv4Endpoint> Find(std::string_view name, Clock::time_point now) const;
    // Whether `source` holds a name (live or not yet swept).
    bool Holds(const Ipv4Endpoint& source) const { return bySource_.count(SourceKey(source)) != 0; }
    // Forgets the names not renewed within their lifetime and returns them, oldest first.
    std::vector<std::string> Expire(Clock::time_point now);
    // When the oldest name runs out; nothing while there are none.
    std::optional<Clock::time_point> NextExpiry() const;
    size_t Size() const { return names_.size(); }

private:
    struct Entry;
    using Names = std::map<std::string, Entry>;
    struct Entry {
        Ipv4Endpoint source;
        Clock::time_point lastSeen;
        // Its place in renewal order, so the oldest are found first.
        std::list<Names::iterator>::iterator order;
    };
    static uint64_t SourceKey(const Ipv4Endpoint& source) {
        return (static_cast<uint64_t>(source.address) << 16) | source.port;
    }
    void Remove(Names::iterator entry);

    const Clock::duration lifetime_;
    Names names_;
    // Oldest renewal first.
    std::list<Names::iterator> order_;
    std::unordered_map<uint64_t, Names::iterator> bySource_;
    std::unordered_map<uint32_t, size_t> perAddress_;
};

}  // namespace tarnhollow::directory
