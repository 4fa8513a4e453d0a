// The NearMe parameters at and past their bounds, the answer script, and the positions
// kept in SQLite coming back nearest first within their age.
#include <gtest/gtest.h>

#include "directory/NearMeQuery.h"
#include "directory/NearMeStore.h"
#include "support/TestSupport.h"

namespace tarnhollow::directory {
namespace {

TEST(NearMeTest, UpdateParametersAreCheckedOneByOne) {
    const std::string good = "server=Abc.example.net&time=123519&lon=11.516667&lat=48.117300&port=80";
    struct Case {
        std::string query;
        std::string problem;  // empty: accepted
    };
    const Case cases[] = {
        {good, ""},
        {good + "&extra=1&x", ""},
        {"server=a.net&time=0&lon=-180&lat=-90&port=1", ""},
        {"server=a.net&time=235959&lon=180.0&lat=90&port=65535", ""},
        {"server=a%2Enet&time=5019&lon=0&lat=0&port=80", ""},
        {"time=123519&lon=1&lat=1&port=80", "server"},
        {"server=a.net&server=b.net&time=1&lon=1&lat=1&port=80", "server"},
        {"server=a_b.net&time=1&lon=1&lat=1&port=80", "server"},
        {"server=a.net%00&time=1&lon=1&lat=1&port=80", "server"},
        {"server=a.net&time=236000&lon=1&lat=1&port=80", "time"},
        {"server=a.net&time=126000&lon=1&lat=1&port=80", "time"},
        {"server=a.net&time=-1&lon=1&lat=1&port=80", "time"},
        {"server=a.net&time=1&lon=180.01&lat=1&port=80", "lon"},
        {"server=a.net&time=1&lon=1e2&lat=1&port=80", "lon"},
        {"server=a.net&time=1&lon=nan&lat=1&port=80", "lon"},
        {"server=a.net&time=1&lon=1.&lat=1&port=80", "lon"},
        {"server=a.net&time=1&lon=1&lat=-90.5&port=80", "lat"},
        {"server=a.net&time=1&lon=1&lat=1&port=0", "port"},
        {"server=a.net&time=1&lon=1&lat=1&port=65536", "port"},
        {"server=a.net&time=1&lon=1&lat=1&port=%zz", "port"},
    };
    for (const Case& c : cases) {
        std::string problem;
        const auto update = ParseNearMeUpdate(c.query, problem);
        EXPECT_EQ(update.has_value(), c.problem.empty()) << c.query;
        EXPECT_EQ(update ? "" : problem, c.problem) << c.query;
    }
    std::string problem;
    const auto update = ParseNearMeUpdate(good, problem);
    ASSERT_TRUE(update);
    EXPECT_EQ(update->server, "abc.example.net");
    EXPECT_EQ(update->time, 123519);
    EXPECT_DOUBLE_EQ(update->latitude, 48.1173);
}

TEST(NearMeTest, RequestParametersAreCheckedOneByOne) {
    struct Case {
        std::string query;
        std::string problem;
    };
    const Case cases[] = {
        {"time=3600&max=20&prec=1&lon=11.51666667&lat=48.1173", ""},
        {"time=604800&max=1000&prec=8&lon=0&lat=0", ""},
        {"time=604801&max=20&prec=1&lon=0&lat=0", "time"},
        {"time=0&max=20&prec=1&lon=0&lat=0", "time"},
        {"time=1&max=1001&prec=1&lon=0&lat=0", "max"},
        {"time=1&max=1&prec=9&lon=0&lat=0", "prec"},
        {"time=1&max=1&prec=1&lat=0", "lon"},
    };
    for (const Case& c : cases) {
        std::string problem;
        const auto request = ParseNearMeRequest(c.query, problem);
        EXPECT_EQ(request.has_value(), c.problem.empty()) << c.query;
        EXPECT_EQ(request ? "" : problem, c.problem) << c.query;
    }
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
    const auto nearest = store.Nearest({.maxAgeSeconds = 3600, .maxResults = 5, .precision = 1,
                                        .longitude = 11.5, .latitude = 48.1},
                                       now);
    EXPECT_EQ(NearMeScript(nearest, 1),
              "var latitudes = [48.1, 52.5];\nvar longitudes = [11.6, 13.4];\n"
              "var times = [\"00:50:20 UTC\", \"10:15:00 UTC\"];\nvar servers = [\"near.net:8080\", \"far.net\"];\n");
    EXPECT_EQ(store.Nearest({.maxAgeSeconds = 3600, .maxResults = 1, .precision = 0, .longitude = 13,
                             .latitude = 52},
                            now)
                  .at(0)
                  .server,
              "far.net");
    EXPECT_EQ(NearMeScript({}, 2), "var latitudes = [];\nvar longitudes = [];\nvar times = [];\nvar servers = [];\n");
}

}  // namespace
}  // namespace tarnhollow::directory
