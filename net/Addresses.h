// The machine's address as others would reach it, chosen from its network adapters.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnhollow {

// One IPv4 address of a network interface, in the order the system lists them.
struct Adapter {
    std::string name;
    std::string address;  // dotted IPv4
    bool loopback = false;
    bool running = false;    // up and running
    bool dnsServer = false;  // names can be resolved through it
};

// Where the adapters come from: the system's list, or a test's.
using AdapterList = std::function<std::vector<Adapter>()>;

// The IPv4 addresses of this machine's interfaces, through getifaddrs. An interface
// has a DNS server when it is up and running and the system has a nameserver: this
// system keeps its nameservers per machine, not per interface.
std::vector<Adapter> SystemAdapters();

// Whether a resolver configuration (resolv.conf's text) names at least one nameserver.
bool NamesNameserver(std::string_view resolverConfiguration);

// The address of the first interface that is up and has a DNS server, else that of the
// last non-loopback interface; empty when there is none. Only the first address of
// each interface counts.
std::string SelectAdapterAddress(const AdapterList& adapters = SystemAdapters);

// True for addresses that no one else can reach this machine at: 0.0.0.0/8 and
// 127.0.0.0/8 (Debian maps the machine's own name to 127.0.1.1), or text that is not a
// dotted IPv4 address.
bool IsLocalOnlyAddress(std::string_view dottedAddress);

}  // namespace tarnhollow
