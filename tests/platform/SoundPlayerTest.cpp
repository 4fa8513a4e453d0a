// The sound player: the file reaches the player as one argument whatever it holds, one
// player plays at a time and is reaped, none inherits the server's descriptors or
// blocked signals, and a missing file or player is silence.
#include "platform/SoundPlayer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// A player that writes what `report` prints (by default its arguments, one per line) to
// `log` in the player's folder, the log appearing whole through a rename, then runs
// `then`. Bash, because dash clears the signal mask it was started with.
std::string WriteFakePlayer(const TempDir& dir, const std::string& name,
                            const std::string& report = "for a in \"$@\"; do printf '%s\\n' \"$a\"; done",
                            const std::string& then = "") {
    const std::string log = dir.Path() + "/log";
    const std::string path = dir.Write(
        name, "#!/bin/bash\n{ " + report + "; } > '" + log + ".tmp'\nmv '" + log + ".tmp' '" + log + "'\n" + then);
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

TEST(SoundPlayer, OnePlayerPlaysAtATimeAndEachIsReapedWithoutWaiting) {
    TempDir dir;
    const std::string sound = dir.Write("ding.wav", "RIFF");
    // Logs its process id, then plays until the test creates "stop" (half a minute at most).
    const std::string slow = WriteFakePlayer(
        dir, "slow-player", "echo $$",
        "for ((n = 0; n < 3000; ++n)); do [ -e '" + dir.Path() + "/stop' ] && break; sleep 0.01; done");
    pid_t first = 0, second = 0;
    siginfo_t ended{};
    {
        SoundPlayer player({slow});
        ASSERT_TRUE(player.Play(sound));
        EXPECT_FALSE(player.Play(sound)) << "a second player started while the first plays";
        first = std::stoi(WaitForLog(dir));
        std::filesystem::remove(dir.Path() + "/log");
        dir.Write("stop", "");
        ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(first), &ended, WEXITED | WNOWAIT), 0);  // not reaped
        ASSERT_TRUE(player.Play(sound)) << "the finished player was not reaped";
        second = std::stoi(WaitForLog(dir));
        ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(second), &ended, WEXITED | WNOWAIT), 0);
    }
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), -1);
    EXPECT_EQ(::waitpid(second, nullptr, WNOHANG), -1) << "the player object left a finished player unreaped";
}

TEST(SoundPlayer, ThePlayerInheritsNoDescriptorsBlockedSignalsOrIgnoredSigpipe) {
    TempDir dir;
    const std::string sound = dir.Write("ding.wav", "RIFF");
    // ls lists the descriptors it inherits and its own 3 for the listing; bit 12 of the
    // ignored set is SIGPIPE.
    const std::string inspecting = WriteFakePlayer(
        dir, "inspecting-player",
        "ls /proc/self/fd; grep SigBlk /proc/self/status; "
        "echo $((0x$(grep SigIgn /proc/self/status | cut -f2) >> 12 & 1))");
    // As the server has them.
    const int leaked = ::open("/dev/null", O_RDONLY);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    sigset_t usr1, oldMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);
    const bool started = SoundPlayer({inspecting}).Play(sound);
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    std::signal(SIGPIPE, oldPipe);
    ::close(leaked);
    ASSERT_TRUE(started);
    EXPECT_EQ(WaitForLog(dir), "0\n1\n2\n3\nSigBlk:\t0000000000000000\n0\n");
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
