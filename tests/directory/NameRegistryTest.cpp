// Registrations as soft state: case, sources, take-over only after expiry, the
// per-address limit, and expiry in renewal order.
#include <gtest/gtest.h>

#include "directory/DirectoryLimits.h"
#include "directory/HostNames.h"
#include "directory/NameRegistry.h"

namespace tarnhollow::directory {
namespace {

using Clock = NameRegistry::Clock;
using Outcome = NameRegistry::Outcome;
using std::chrono::seconds;

const Ipv4Endpoint kDevice{0x7F000001, 4000};
const Ipv4Endpoint kOther{0x7F000001, 4001};

TEST(NameRegistryTest, RegistrationsFollowTheirSourcesAndLifetimes) {
    const Clock::time_point t0{};
    struct Step {
        const char* what;
        std::string name;
        Ipv4Endpoint source;
        seconds at;
        Outcome outcome;
        std::string released;
    };
    const Step steps[] = {
        {"a new name", "Abc.Example.NET", kDevice, seconds(0), Outcome::Registered, ""},
        {"the same source again, other case", "abc.example.net.", kDevice, seconds(20), Outcome::Renewed, ""},
        {"another source while it lives", "abc.example.net", kOther, seconds(79), Outcome::Held, ""},
        {"not a DNS name", "abc_.example.net", kOther, seconds(79), Outcome::Invalid, ""},
        {"a name with a zero inside", std::string("a\0b", 3), kOther, seconds(79), Outcome::Invalid, ""},
        {"another source once it expired", "abc.example.net", kOther, seconds(81), Outcome::Registered, ""},
        {"the first source takes a new name", "new.example.net", kDevice, seconds(82), Outcome::Registered, ""},
        {"the second source changes its name", "xyz.example.net", kOther, seconds(83), Outcome::Registered,
         "abc.example.net"},
    };
    NameRegistry registry(seconds(60));
    for (const Step& step : steps) {
        const auto result = registry.Register(step.name, step.source, t0 + step.at);
        EXPECT_EQ(result.outcome, step.outcome) << step.what;
        EXPECT_EQ(result.released, step.released) << step.what;
    }
    EXPECT_EQ(registry.Find("XYZ.example.net", t0 + seconds(83)), kOther);
    EXPECT_EQ(registry.Find("abc.example.net", t0 + seconds(83)), std::nullopt);
    EXPECT_EQ(registry.Size(), 2u);
}

TEST(NameRegistryTest, NamesExpireOldestFirstAfterTheirLifetime) {
    const Clock::time_point t0{};
    NameRegistry registry(seconds(60));
    registry.Register("a.net", kDevice, t0);
    registry.Register("b.net", kOther, t0 + seconds(10));
    registry.Register("a.net", kDevice, t0 + seconds(20));
    EXPECT_EQ(registry.NextExpiry(), t0 + seconds(70));
    EXPECT_TRUE(registry.Expire(t0 + seconds(70)).empty()) << "expires only past its lifetime";
    EXPECT_EQ(registry.Find("b.net", t0 + seconds(70)), kOther);
    EXPECT_EQ(registry.Find("b.net", t0 + seconds(71)), std::nullopt) << "gone before any sweep";
    EXPECT_EQ(registry.Expire(t0 + seconds(81)), (std::vector<std::string>{"b.net", "a.net"}));
    EXPECT_EQ(registry.NextExpiry(), std::nullopt);
    EXPECT_FALSE(registry.Holds(kDevice));
}

TEST(NameRegistryTest, OneAddressHoldsAtMostItsLimit) {
    NameRegistry registry(seconds(60));
    const Clock::time_point now{};
    for (uint16_t port = 1; port <= kMaxNamesPerAddress; ++port) {
        ASSERT_EQ(registry.Register("n" + std::to_string(port) + ".net", {0x0A000001, port}, now).outcome,
                  Outcome::Registered);
    }
    const uint16_t past = kMaxNamesPerAddress + 1;
    EXPECT_EQ(registry.Register("over.net", {0x0A000001, past}, now).outcome, Outcome::OverLimit);
    EXPECT_EQ(registry.Register("over.net", {0x0A000002, past}, now).outcome, Outcome::Registered);
}

TEST(HostNamesTest, DnsNamesAndHostHeaders) {
    // Three labels of 63 bytes: with a fourth of 61 the name is 253 bytes long.
    const std::string kLabels = std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + ".";
    struct Case {
        std::string host;
        std::string device;  // empty: selects none
    };
    const Case cases[] = {
        {"abc.homeip.net", "abc.homeip.net"},
        {"ABC.HomeIP.net:8080", "abc.homeip.net"},
        {"abc.homeip.net.", "abc.homeip.net"},
        {"localhost", "localhost"},
        {"a-b.c1", "a-b.c1"},
        {"", ""},
        {":80", ""},
        {"abc.homeip.net:80x", ""},
        {"-abc.net", ""},
        {"abc-.net", ""},
        {"a..b", ""},
        {".a", ""},
        {"[::1]:80", ""},
        {"a b.net", ""},
        {std::string(63, 'a') + ".net", std::string(63, 'a') + ".net"},
        {std::string(64, 'a') + ".net", ""},
        {kLabels + std::string(61, 'd'), kLabels + std::string(61, 'd')},
        {kLabels + std::string(62, 'd'), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(DeviceNameOfHost(c.host), c.device) << c.host;
}

}  // namespace
}  // namespace tarnhollow::directory
