// Playing a sound file without waiting for it: a player program found on PATH is
// started on the file, one at a time, and reaped once it has finished.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarnhollow {

class SoundPlayer {
public:
    // Tried in order; the first that names an executable file (on PATH, or by a path
    // with a "/") plays. Each is run as `player FILE`.
    static std::vector<std::string> DefaultPlayers();

    explicit SoundPlayer(std::vector<std::string> players = DefaultPlayers());
    // Reaps a player that has finished; one still playing is left to finish alone.
    virtual ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Starts playing `path` and returns at once; true when a player was started. A
    // missing file or no player is silence, not an error, and so is a sound asked for
    // while the previous one still plays: a burst of requests starts one player, not
    // one each. The file name reaches the player as one argument, never through a shell.
    virtual bool Play(const std::string& path);

private:
    std::string FindPlayer() const;
    // True when no player of ours is running any more; reaps it without waiting.
    bool PlayerFinished();

    std::vector<std::string> players_;
    pid_t player_ = -1;
};

}  // namespace tarnhollow
