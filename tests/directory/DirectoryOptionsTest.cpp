// The directory host's command line, accepted and refused.
#include <gtest/gtest.h>

#include <vector>

#include "directory/DirectoryOptions.h"

namespace tarnhollow::directory {
namespace {

DirectoryOptions Parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "tarnhollow-directory");
    return ParseDirectoryOptions(static_cast<int>(arguments.size()), arguments.data());
}

TEST(DirectoryOptionsTest, ValuesAndMistakes) {
    const DirectoryOptions defaults = Parse({});
    EXPECT_EQ(defaults.udpPort, 1212);
    EXPECT_EQ(defaults.httpPort, 8080);
    EXPECT_EQ(defaults.bind, "0.0.0.0");
    EXPECT_EQ(defaults.periodMilliseconds, 20000);
    const DirectoryOptions set =
        Parse({"--udp-port", "0", "--http-port", "65535", "--bind", "::1", "--db", "x.db", "--period", "100"});
    EXPECT_EQ(set.error, "");
    EXPECT_EQ(set.udpPort, 0);
    EXPECT_EQ(set.httpPort, 65535);
    EXPECT_EQ(set.bind, "::1");
    EXPECT_EQ(set.database, "x.db");
    EXPECT_EQ(set.periodMilliseconds, 100);
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);

    const std::vector<std::vector<const char*>> wrong = {
        {"--udp-port", "65536"}, {"--http-port", "-1"}, {"--http-port"},  {"--bind", "example.net"},
        {"--db", ""},            {"--period", "9"},     {"--verbose"},    {"--udp-port", "12a"},
    };
    for (const auto& arguments : wrong) EXPECT_NE(Parse(arguments).error, "") << arguments[0];
}

}  // namespace
}  // namespace tarnhollow::directory
