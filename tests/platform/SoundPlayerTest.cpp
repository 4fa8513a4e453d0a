// The sound player: the file reaches the player as one argument whatever it holds, no
// child is left behind, and a missing file or player is silence.
#include "platform/SoundPlayer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// A player that writes its arguments, one per line, to `log` in the player's folder;
// the log appears whole, through a rename.
std::string WriteFakePlayer(const TempDir& dir, const std::string& name) {
    const std::string path = dir.Write(name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                                 dir.Path() + "/log.tmp\"\nmv \"" + dir.Path() + "/log.tmp\" \"" +
                                                 dir.Path() + "/log\"\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

// Waits (up to 10 seconds) for the fake player's log.
std::string WaitForLog(const TempDir& dir) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        struct stat st;
        if (::stat((dir.Path() + "/log").c_str(), &st) == 0) return dir.Read("log");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return "(no log)";
}

TEST(SoundPlayer, TheFileNameReachesThePlayerAsOneArgument) {
    struct Row {
        const char* description;
        std::string name;
        std::string argument;  // what the player sees, relative to the folder
    };
    const Row rows[] = {
        {"plain name", "ding.wav", "ding.wav"},
        {"shell syntax stays text", "a; touch pwned $(id) `id` 'q' \"d\".wav", "a; touch pwned $(id) `id` 'q' \"d\".wav"},
        {"spaces and newline", "two words\nline.wav", "two words\nline.wav"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        TempDir dir;
        const std::string sound = dir.Write(row.name, "RIFF");
        SoundPlayer player({WriteFakePlayer(dir, "fake-player")});
        ASSERT_TRUE(player.Play(sound));
        EXPECT_EQ(WaitForLog(dir), dir.Path() + "/" + row.argument + "\n");
        struct stat st;
        EXPECT_NE(::stat((dir.Path() + "/pwned").c_str(), &st), 0);
    }
}

TEST(SoundPlayer, ARelativeNameThatLooksLikeAnOptionIsNotReadAsOne) {
    TempDir dir;
    dir.Write("-v.wav", "RIFF");
    SoundPlayer player({WriteFakePlayer(dir, "fake-player")});
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const bool started = player.Play("-v.wav");
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(started);
    EXPECT_EQ(WaitForLog(dir), "./-v.wav\n");
}

TEST(SoundPlayer, ThePlayerIsNotLeftAsAChildToReap) {
    TempDir dir;
    const std::string sound = dir.Write("ding.wav", "RIFF");
    SoundPlayer player({WriteFakePlayer(dir, "fake-player")});
    ASSERT_TRUE(player.Play(sound));
    WaitForLog(dir);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(SoundPlayer, MissingFileOrPlayerIsSilence) {
    TempDir dir;
    const std::string sound = dir.Write("ding.wav", "RIFF");
    const std::string fake = WriteFakePlayer(dir, "fake-player");
    dir.Write("not-executable", "#!/bin/sh\n");
    struct Row {
        const char* description;
        std::vector<std::string> players;
        std::string file;
    };
    const Row rows[] = {
        {"missing file", {fake}, dir.Path() + "/missing.wav"},
        {"a folder is no sound file", {fake}, dir.Path()},
        {"empty path", {fake}, ""},
        {"no player at all", {}, sound},
        {"players that do not exist", {"no-such-player-anywhere", dir.Path() + "/missing"}, sound},
        {"a file without execute permission", {dir.Path() + "/not-executable"}, sound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        SoundPlayer player(row.players);
        EXPECT_FALSE(player.Play(row.file));
    }
}

TEST(SoundPlayer, PlayersAreFoundOnAbsolutePathEntriesOnly) {
    TempDir dir;
    const std::string sound = dir.Write("ding.wav", "RIFF");
    WriteFakePlayer(dir, "fake-player");
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    ::setenv("PATH", ".::relative", 1);
    const bool fromRelative = SoundPlayer({"fake-player"}).Play(sound);
    // The fake player itself needs the usual folders for its own commands.
    ::setenv("PATH", ("/nonexistent:" + dir.Path() + ":" + saved).c_str(), 1);
    const bool fromAbsolute = SoundPlayer({"fake-player"}).Play(sound);
    ::setenv("PATH", saved.c_str(), 1);
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(fromRelative);
    ASSERT_TRUE(fromAbsolute);
    EXPECT_EQ(WaitForLog(dir), sound + "\n");
}

}  // namespace
}  // namespace tarnhollow::test
