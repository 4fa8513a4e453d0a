// Interface addresses through getifaddrs, and the choice among them.
#include "net/Addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <set>

namespace tarnhollow {

std::vector<Adapter> SystemAdapters() {
    std::vector<Adapter> adapters;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return adapters;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
        adapters.push_back({entry->ifa_name ? entry->ifa_name : "", text,
                            address->sin_addr.s_addr == htonl(INADDR_LOOPBACK) || (entry->ifa_flags & IFF_LOOPBACK),
                            (entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING)});
    }
    ::freeifaddrs(list);
    return adapters;
}

std::string SelectAdapterAddress(const AdapterList& adapters) {
    std::string candidate;
    std::set<std::string> seen;
    for (const Adapter& adapter : adapters()) {
        if (!seen.insert(adapter.name).second || adapter.loopback) continue;
        candidate = adapter.address;
        if (adapter.running) break;
    }
    return candidate;
}

}  // namespace tarnhollow
