// Starting a player process for a sound file with posix_spawn, which never waits for
// the player, and reaping it later without waiting either.
#include "platform/SoundPlayer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tarnhollow {

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool IsReadableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

}  // namespace

// The players of the two sound servers, which both read WAV and Ogg files alike. ALSA's
// own player is left out: it would play anything that is not WAV as raw noise.
std::vector<std::string> SoundPlayer::DefaultPlayers() { return {"paplay", "pw-play"}; }

SoundPlayer::SoundPlayer(std::vector<std::string> players) : players_(std::move(players)) {}

std::string SoundPlayer::FindPlayer() const {
    const char* pathVariable = std::getenv("PATH");
    const std::string searchPath = pathVariable ? pathVariable : "/usr/bin:/bin";
    for (const std::string& player : players_) {
        if (player.empty()) continue;
        if (player.find('/') != std::string::npos) {
            if (IsExecutableFile(player)) return player;
            continue;
        }
        size_t start = 0;
        while (start <= searchPath.size()) {
            size_t end = searchPath.find(':', start);
            if (end == std::string::npos) end = searchPath.size();
            const std::string folder = searchPath.substr(start, end - start);
            // Only absolute folders: an empty or relative entry would run whatever the
            // server's working folder happens to hold.
            if (!folder.empty() && folder[0] == '/' && IsExecutableFile(folder + "/" + player)) {
                return folder + "/" + player;
            }
            start = end + 1;
        }
    }
    return std::string();
}

SoundPlayer::~SoundPlayer() { PlayerFinished(); }

bool SoundPlayer::PlayerFinished() {
    if (player_ <= 0) return true;
    int status = 0;
    pid_t reaped;
    do {
        reaped = ::waitpid(player_, &status, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0) return false;
    // Reaped now, or not ours any more (SIGCHLD ignored, or someone else reaped it).
    player_ = -1;
    return true;
}

bool SoundPlayer::Play(const std::string& path) {
    if (!PlayerFinished()) return false;
    if (path.empty() || !IsReadableFile(path)) return false;
    const std::string program = FindPlayer();
    if (program.empty()) return false;
    // A name that begins with "-" would be read as an option.
    const std::string file = path[0] == '/' ? path : "./" + path;
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()), nullptr};

    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0) return false;
    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    // The server's sockets and files are none of the player's business, and a listening
    // socket held by the player would keep its port busy.
    bool ready = ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
                 ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
                 ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO) == 0 &&
                 ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0;
    // The server ignores SIGPIPE and its threads may block signals; an exec would pass
    // both on to a player that expects neither.
    sigset_t none, pipe;
    sigemptyset(&none);
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ready = ready && ::posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
            ::posix_spawnattr_setsigdefault(&attributes, &pipe) == 0 &&
            ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    pid_t player = -1;
    const bool started = ready && ::posix_spawn(&player, program.c_str(), &actions, &attributes, argv, environ) == 0;
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (!started) return false;
    player_ = player;
    return true;
}

}  // namespace tarnhollow
