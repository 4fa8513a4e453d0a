// The settings file: the default-writing rule, types, lengths, atomic replacement and
// files that do not parse.
#include "platform/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <toml++/toml.h>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { SetSettingsFile(dir.Path() + "/config/settings.toml"); }
    toml::table Stored() { return toml::parse_file(SettingsFile()); }
    TempDir dir;
};

TEST_F(SettingsFileTest, AFreshReadReturnsAndStoresTheDefault) {
    auto key = OpenSettingsKey();
    ASSERT_TRUE(key);
    EXPECT_EQ(ReadDword(key.get(), L"Port", 8080), 8080u);
    EXPECT_EQ(ReadString(key.get(), L"NMEA Pattern3", L"\\$GPGGA,{x}"), L"\\$GPGGA,{x}");
    toml::table stored = Stored();
    EXPECT_EQ(stored["Port"].value<int64_t>(), 8080);
    EXPECT_EQ(stored["NMEA Pattern3"].value<std::string>(), "\\$GPGGA,{x}");
    struct stat st;
    ASSERT_EQ(::stat(SettingsFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsFileTest, WrongTypesAreReplacedByTheDefaultOfTheRightType) {
    dir.Write("config/settings.toml",
              "Port = \"8080\"\nEnable = 5000000000\nName = 12\nNegative = -1\nFloat = 1.5\n");
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadDword(key.get(), L"Port", 8080), 8080u);
    EXPECT_EQ(ReadDword(key.get(), L"Enable", 1), 1u);
    EXPECT_EQ(ReadString(key.get(), L"Name", L""), L"");
    EXPECT_EQ(ReadDword(key.get(), L"Negative", 7), 7u);
    EXPECT_EQ(ReadDword(key.get(), L"Float", 3), 3u);
    toml::table stored = Stored();
    EXPECT_TRUE(stored["Port"].is_integer());
    EXPECT_EQ(stored["Enable"].value<int64_t>(), 1);
    EXPECT_TRUE(stored["Name"].is_string());
    EXPECT_EQ(stored["Negative"].value<int64_t>(), 7);
}

TEST_F(SettingsFileTest, BooleansReadAnyNonZeroValueAsOne) {
    dir.Write("config/settings.toml", "DNS_status = 5\nOff = 0\n");
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadBool(key.get(), L"DNS_status", 0), 1u);
    EXPECT_EQ(ReadBool(key.get(), L"Off", 1), 0u);
    EXPECT_EQ(Stored()["DNS_status"].value<int64_t>(), 5);
}

TEST_F(SettingsFileTest, StringsUpTo998CharactersReadBackAndLongerOnesAreKept) {
    const std::string exact(998, 'x');
    const std::string tooLong(999, 'y');
    dir.Write("config/settings.toml", "Exact = \"" + exact + "\"\nLong = \"" + tooLong + "\"\n");
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadString(key.get(), L"Exact", L"d"), std::wstring(998, L'x'));
    EXPECT_EQ(ReadString(key.get(), L"Long", L"d"), L"d");
    // The user's long value is not overwritten by the default.
    EXPECT_EQ(Stored()["Long"].value<std::string>(), tooLong);
}

TEST_F(SettingsFileTest, AbsentDefaultReturnsEmptyAndWritesNothing) {
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadString(key.get(), L"Missing", nullptr), L"");
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

TEST_F(SettingsFileTest, WritesThroughAnOlderKeyKeepOtherValues) {
    auto first = OpenSettingsKey();
    auto second = OpenSettingsKey();
    WriteDword(first.get(), L"A", 1);
    WriteString(second.get(), L"B", L"two \u00e9");
    toml::table stored = Stored();
    EXPECT_EQ(stored["A"].value<int64_t>(), 1);
    EXPECT_EQ(stored["B"].value<std::string>(), "two \xC3\xA9");
    auto third = OpenSettingsKey();
    EXPECT_EQ(ReadString(third.get(), L"B", L""), L"two \u00e9");
}

TEST_F(SettingsFileTest, AFileThatDoesNotParseIsMovedAsideNeverOverwritten) {
    dir.Write("config/settings.toml", "this is = = not toml");
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadDword(key.get(), L"Port", 8080), 8080u);
    int aside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "/config")) {
        if (entry.path().filename().string().rfind("settings.toml.bad-", 0) == 0) {
            ++aside;
            EXPECT_EQ(dir.Read("config/" + entry.path().filename().string()), "this is = = not toml");
        }
    }
    EXPECT_EQ(aside, 1);
    EXPECT_EQ(Stored()["Port"].value<int64_t>(), 8080);
}

TEST(Settings, WithoutAKeyReadsReturnDefaultsAndWritesAreLost) {
    EXPECT_EQ(ReadDword(nullptr, L"Port", 8080), 8080u);
    EXPECT_EQ(ReadString(nullptr, L"X", L"d"), L"d");
    WriteDword(nullptr, L"Port", 1);
}

}  // namespace
}  // namespace tarnhollow::test
