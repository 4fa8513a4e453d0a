// The machine's address as others would reach it, chosen from its network adapters.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarnhollow {

// One IPv4 address of a network interface, in the order the system lists them.
struct Adapter {
    std::string name;
    std::string address;  // dotted IPv4
    bool loopback = false;
    bool running = false;  // up and running
};

// Where the adapters come from: the system's list, or a test's.
using AdapterList = std::function<std::vector<Adapter>()>;

// The IPv4 addresses of this machine's interfaces, through getifaddrs.
std::vector<Adapter> SystemAdapters();

// The first IPv4 address of the first interface that is up and not loopback, else the
// last non-loopback IPv4 address found; empty when there is none. Only the first
// address of each interface counts.
std::string SelectAdapterAddress(const AdapterList& adapters = SystemAdapters);

}  // namespace tarnhollow
