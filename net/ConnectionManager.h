// The platform's connection manager as the data-connection monitor sees it: a request
// for a connection to the Internet, its status, and its release. This platform has none.
#pragma once

#include <cstdint>

namespace tarnhollow {

// Connection statuses as the connection manager reports them.
namespace connection_status {
inline constexpr uint32_t kConnected = 0x10;
// The group of statuses that end a connection; kDisconnected is its normal end.
inline constexpr uint32_t kEndedGroup = 0x20;
inline constexpr uint32_t kDisconnected = 0x20;
inline constexpr uint32_t kFailed = 0x21;
inline constexpr uint32_t kWaitingGroup = 0x40;
}  // namespace connection_status

// Told by the connection manager, on any thread, that a connection's status changed.
class ConnectionEvents {
public:
    virtual ~ConnectionEvents() = default;
    virtual void StatusChanged() = 0;
};

using ConnectionHandle = uintptr_t;

class ConnectionManager {
public:
    virtual ~ConnectionManager() = default;
    // Asks for a connection to the Internet (usable through an HTTP proxy when `proxy`);
    // its status changes are told to `events` until it is released. 0, with `error`
    // set, when the request is refused.
    virtual ConnectionHandle Establish(bool proxy, ConnectionEvents& events, uint32_t& error) = 0;
    // The connection's status; false, with `error` set, when it cannot be told.
    virtual bool QueryStatus(ConnectionHandle connection, uint32_t& status, uint32_t& error) = 0;
    // Lets the connection go; `cache` lets the manager keep it for other users.
    virtual void Release(ConnectionHandle connection, bool cache) = 0;
};

// This platform's connection manager: the network is there or not without being asked
// for, so every request is connected at once and nothing else ever happens.
class AlwaysConnected : public ConnectionManager {
public:
    ConnectionHandle Establish(bool, ConnectionEvents& events, uint32_t&) override {
        events.StatusChanged();
        return 1;
    }
    bool QueryStatus(ConnectionHandle, uint32_t& status, uint32_t&) override {
        status = connection_status::kConnected;
        return true;
    }
    void Release(ConnectionHandle, bool) override {}
};

}  // namespace tarnhollow
