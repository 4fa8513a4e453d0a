// What the directory host keeps. Registrations as soft state: case, sources, take-over only
// after expiry, the per-address limit, and expiry in renewal order; and the NearMe
// positions kept in SQLite coming back nearest first within their age, as the answer script.
#include <gtest/gtest.h>

#include "directory/DirectoryLimits.h"
#include "directory/NameRegistry.h"
#include "directory/NearMeQuery.h"
#include "directory/NearMeStore.h"
#include "support/TestSupport.h"

namespace tarnhollow::directory {
namespace {

using Clock = NameRegistry::Clock;
using Outcome = NameRegistry::Outcome;
using std::chrono::seconds;

const Ipv4Endpoint kDevice{0x7F000001, 4000};
const Ipv4Endpoint kOther{0x7F000001, 4001};
const Clock::time_point t0{};

TEST(NameRegistryTest, RegistrationsFollowTheirSourcesAndLifetimes) {
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
    for (uint16_t port = 1; port <= kMaxNamesPerAddress; ++port) {
        ASSERT_EQ(registry.Register("n" + std::to_string(port) + ".net", {0x0A000001, port}, t0).outcome,
                  Outcome::Registered);
    }
    const uint16_t past = kMaxNamesPerAddress + 1;
    EXPECT_EQ(registry.Register("over.net", {0x0A000001, past}, t0).outcome, Outcome::OverLimit);
    EXPECT_EQ(registry.Register("over.net", {0x0A000002, past}, t0).outcome, Outcome::Registered);
}

TEST(NearMeTest, TheStoreAnswersNearestFirstWithinTheAgeAndCount) {
    test::TempDir folder;
    NearMeStore store;
    std::string error;
    ASSERT_TRUE(store.Open(folder.Path() + "/sub/positions.sqlite", error)) << error;
    const int64_t now = 1'800'000'000;
    ASSERT_TRUE(store.Update({"far.net", 101500, 13.4, 52.52, 80}, now - 100));
    ASSERT_TRUE(store.Update({"near.net", 5019, 11.6, 48.14, 8080}, now - 10));
    ASSERT_TRUE(store.Update({"old.net", 5019, 11.5, 48.1, 80}, now - 4000));
    ASSERT_TRUE(store.Update({"near.net", 5020, 11.6, 48.14, 8080}, now)) << "an update replaces the row";
    const NearMeRequest all{.maxAgeSeconds = 3600, .maxResults = 5, .precision = 1, .longitude = 11.5, .latitude = 48.1};
    EXPECT_EQ(NearMeScript(store.Nearest(all, now), 1),
              "var latitudes = [48.1, 52.5];\nvar longitudes = [11.6, 13.4];\n"
              "var times = [\"00:50:20 UTC\", \"10:15:00 UTC\"];\nvar servers = [\"near.net:8080\", \"far.net\"];\n");
    const NearMeRequest justOne{.maxAgeSeconds = 3600, .maxResults = 1, .precision = 0, .longitude = 13, .latitude = 52};
    EXPECT_EQ(store.Nearest(justOne, now).at(0).server, "far.net");
    EXPECT_EQ(NearMeScript({}, 2), "var latitudes = [];\nvar longitudes = [];\nvar times = [];\nvar servers = [];\n");
}

}  // namespace
}  // namespace tarnhollow::directory
