// Starting a player process for a sound file, through an intermediate child that
// exits at once, so that the player is never ours and no zombie waits to be reaped.
#include "platform/SoundPlayer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
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

// In the player's process, before it runs: only async-signal-safe calls, since the
// server that forked may have other threads.
[[noreturn]] void RunPlayer(const char* program, char* const argv[], int descriptorLimit) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    // The server's sockets and files are none of the player's business, and a
    // listening socket held by the player would keep its port busy.
    // Where the kernel lacks close_range, every descriptor is closed one by one.
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < descriptorLimit; ++fd) ::close(fd);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &standard, nullptr);
    ::execv(program, argv);
    ::_exit(127);
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

bool SoundPlayer::Play(const std::string& path) {
    if (path.empty() || !IsReadableFile(path)) return false;
    const std::string program = FindPlayer();
    if (program.empty()) return false;
    // A name that begins with "-" would be read as an option.
    const std::string file = path[0] == '/' ? path : "./" + path;
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()), nullptr};

    // Read before forking: only async-signal-safe calls may follow the fork.
    rlimit limit{};
    const int descriptorLimit =
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? static_cast<int>(limit.rlim_cur) : 65536;
    const pid_t intermediate = ::fork();
    if (intermediate < 0) return false;
    if (intermediate == 0) {
        const pid_t player = ::fork();
        if (player == 0) RunPlayer(program.c_str(), argv, descriptorLimit);
        ::_exit(player < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tarnhollow
