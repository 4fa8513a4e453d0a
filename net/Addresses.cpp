// Interface addresses through getifaddrs, the system's nameservers, and the choice
// among the addresses.
#include "net/Addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <set>

#include "platform/File.h"

namespace tarnhollow {

namespace {

// systemd-resolved keeps the upstream servers here when /etc/resolv.conf points at its
// stub; either file naming a server is enough.
constexpr const char* kResolverFiles[] = {"/etc/resolv.conf", "/run/systemd/resolve/resolv.conf"};
// A resolver configuration is a few lines; anything longer is not read past this.
constexpr size_t kResolverFileLimit = 65536;

bool SystemHasNameserver() {
    for (const char* path : kResolverFiles) {
        UniqueFd file = OpenForReading(path);
        if (!file.IsOpen()) continue;
        std::string text(kResolverFileLimit, '\0');
        const long got = ReadSome(file.Get(), text.data(), text.size());
        if (got <= 0) continue;
        text.resize(static_cast<size_t>(got));
        if (NamesNameserver(text)) return true;
    }
    return false;
}

}  // namespace

bool NamesNameserver(std::string_view text) {
    constexpr std::string_view kKeyword = "nameserver";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        line.remove_prefix(first);
        if (line.substr(0, kKeyword.size()) != kKeyword) continue;
        line.remove_prefix(kKeyword.size());
        if (line.empty() || (line[0] != ' ' && line[0] != '\t')) continue;
        const size_t value = line.find_first_not_of(" \t\r");
        if (value != std::string_view::npos && line[value] != '#' && line[value] != ';') return true;
    }
    return false;
}

std::vector<Adapter> SystemAdapters() {
    std::vector<Adapter> adapters;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return adapters;
    const bool nameserver = SystemHasNameserver();
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
        const bool running = (entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING);
        adapters.push_back({entry->ifa_name ? entry->ifa_name : "", text,
                            address->sin_addr.s_addr == htonl(INADDR_LOOPBACK) || (entry->ifa_flags & IFF_LOOPBACK),
                            running, running && nameserver});
    }
    ::freeifaddrs(list);
    return adapters;
}

std::string SelectAdapterAddress(const AdapterList& adapters) {
    std::string candidate;
    std::set<std::string> seen;
    for (const Adapter& adapter : adapters()) {
        if (!seen.insert(adapter.name).second) continue;
        if (adapter.loopback || adapter.address.empty() || adapter.address == "127.0.0.1") continue;
        candidate = adapter.address;
        if (adapter.running && adapter.dnsServer) break;
    }
    return candidate;
}

bool IsLocalOnlyAddress(std::string_view dottedAddress) {
    in_addr parsed{};
    const std::string text(dottedAddress);
    if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) return true;
    const uint32_t host = ntohl(parsed.s_addr);
    const uint32_t firstByte = host >> 24;
    return firstByte == 0 || firstByte == 127;
}

}  // namespace tarnhollow
