// Choosing the machine's address from a list of adapters handed in by the test.
#include "net/Addresses.h"

#include <gtest/gtest.h>

namespace tarnhollow::test {
namespace {

TEST(Addresses, TheFirstRunningAdapterWinsElseTheLastCandidate) {
    const Adapter loopback{"lo", "127.0.0.1", true, true};
    const Adapter down{"eth0", "192.0.2.10", false, false};
    const Adapter wifi{"wlan0", "192.0.2.20", false, true};
    const Adapter wifiSecond{"wlan0", "192.0.2.21", false, true};
    const Adapter usb{"usb0", "192.0.2.30", false, true};
    struct Row {
        const char* description;
        std::vector<Adapter> adapters;
        std::string chosen;
    };
    const Row rows[] = {
        {"nothing", {}, ""},
        {"loopback only", {loopback}, ""},
        {"a down adapter is still a candidate", {loopback, down}, "192.0.2.10"},
        {"the first running one", {down, wifi, usb}, "192.0.2.20"},
        {"only an interface's first address counts", {wifiSecond, wifi}, "192.0.2.21"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(SelectAdapterAddress([&] { return row.adapters; }), row.chosen);
    }
}

}  // namespace
}  // namespace tarnhollow::test
