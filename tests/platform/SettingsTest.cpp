// The settings file: the default-writing rule, types, lengths, atomic replacement, files
// that do not parse or cannot be read, and files that are links.
#include "platform/Settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <toml++/toml.h>
#include <vector>

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

TEST_F(SettingsFileTest, AFileThatCannotBeReadIsNeitherMovedNorReplaced) {
    // Tests run as root, past every permission bit: no descriptor left (heavy load) and a
    // folder in the file's place are what cannot be read here.
    dir.Write("config/settings.toml", "Port = 81\n");
    testing::internal::CaptureStderr();
    rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 64);
    ::setrlimit(RLIMIT_NOFILE, &low);
    std::vector<int> held;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) held.push_back(fd);
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadDword(key.get(), L"Port", 8080), 8080u);
    WriteDword(key.get(), L"Other", 1);
    for (int fd : held) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(dir.Read("config/settings.toml"), "Port = 81\n");

    const std::string folder = dir.Path() + "/folder/settings.toml";
    std::filesystem::create_directories(folder);
    SetSettingsFile(folder);
    for (int open = 0; open < 2; ++open) {
        key = OpenSettingsKey();
        EXPECT_EQ(ReadString(key.get(), L"Name", L"d"), L"d");
        WriteDword(key.get(), L"Port", 1);
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() + "/folder"), {}), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() + "/config"), {}), 1);
    // One line for each distinct error, however often the file is read.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
}

TEST_F(SettingsFileTest, ALinkedFileStaysALinkAndItsFinalTargetIsWritten) {
    const std::string target = dir.Write("dotfiles/tarnhollow.toml", "Port = 81\n");
    std::filesystem::create_directories(dir.Path() + "/config");
    std::filesystem::create_directories(dir.Path() + "/links");
    std::filesystem::create_symlink(target, dir.Path() + "/links/current.toml");
    std::filesystem::create_symlink("../links/current.toml", SettingsFile());
    auto key = OpenSettingsKey();
    EXPECT_EQ(ReadDword(key.get(), L"Port", 8080), 81u);
    WriteDword(key.get(), L"Port", 82);
    EXPECT_TRUE(std::filesystem::is_symlink(SettingsFile()));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() + "/links/current.toml"));
    EXPECT_EQ(toml::parse_file(target)["Port"].value<int64_t>(), 82);
}

TEST(Settings, WithoutAKeyReadsReturnDefaultsAndWritesAreLost) {
    EXPECT_EQ(ReadDword(nullptr, L"Port", 8080), 8080u);
    EXPECT_EQ(ReadString(nullptr, L"X", L"d"), L"d");
    WriteDword(nullptr, L"Port", 1);
}

}  // namespace
}  // namespace tarnhollow::test
