// Choosing the machine's address from a list of adapters handed in by the test, and
// reading whether the system names a nameserver.
#include "net/Addresses.h"

#include <gtest/gtest.h>

namespace tarnhollow::test {
namespace {

TEST(Addresses, TheFirstAdapterUpWithADnsServerWinsElseTheLastCandidate) {
    const Adapter loopback{"lo", "127.0.0.1", true, true, true};
    const Adapter withDns{"eth0", "192.0.2.10", false, true, true};
    const Adapter withoutDns{"wlan0", "192.0.2.20", false, true, false};
    const Adapter down{"usb0", "192.0.2.30", false, false, false};
    const Adapter secondOfEth0{"eth0", "192.0.2.11", false, true, true};
    const Adapter noAddress{"ppp0", "", false, true, true};
    struct Row { const char* description; std::vector<Adapter> adapters; std::string chosen; };
    const Row rows[] = {
        {"none", {}, ""},
        {"loopback only", {loopback}, ""},
        {"two adapters, the first up with a DNS server", {withDns, withoutDns}, "192.0.2.10"},
        {"the one with a DNS server, though listed later", {withoutDns, withDns, down}, "192.0.2.10"},
        {"none has a DNS server: the last candidate", {withoutDns, down, loopback}, "192.0.2.30"},
        {"only an interface's first address counts", {withDns, secondOfEth0}, "192.0.2.10"},
        {"an entry without an address is skipped", {withoutDns, noAddress}, "192.0.2.20"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(SelectAdapterAddress([&] { return row.adapters; }), row.chosen);
    }
}

TEST(Addresses, AResolverConfigurationNamesANameserver) {
    struct Row { const char* text; bool names; };
    const Row rows[] = {
        {"nameserver 10.0.0.53\n", true}, {"# generated\nsearch example\n  nameserver\t127.0.0.53", true},
        {"", false}, {"search example\noptions edns0\n", false}, {"nameserver\n", false},
        {"nameservers 10.0.0.1\n", false}, {"# nameserver 10.0.0.1\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(NamesNameserver(row.text), row.names);
    }
}

TEST(Addresses, OnlyLoopbackAndUnspecifiedAddressesAreLocalOnly) {
    for (const char* local : {"127.0.0.1", "127.0.1.1", "0.0.0.0", "", "not an address", "::1"}) {
        EXPECT_TRUE(IsLocalOnlyAddress(local)) << local;
    }
    for (const char* reachable : {"192.0.2.1", "10.1.2.3", "128.0.0.1"}) {
        EXPECT_FALSE(IsLocalOnlyAddress(reachable)) << reachable;
    }
}

}  // namespace
}  // namespace tarnhollow::test
