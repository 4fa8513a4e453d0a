// Interface addresses through getifaddrs.
#include "net/Addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <set>

namespace tarnhollow {

std::string SelectAdapterAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::string();
    std::string candidate;
    // Only the first IPv4 address of each interface counts.
    std::set<std::string> seen;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (!seen.insert(entry->ifa_name ? entry->ifa_name : "").second) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (address->sin_addr.s_addr == htonl(INADDR_LOOPBACK) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
        candidate = text;
        if ((entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING)) break;
    }
    ::freeifaddrs(list);
    return candidate;
}

}  // namespace tarnhollow
