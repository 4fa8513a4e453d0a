// Playing a sound file without waiting for it: a player program found on PATH is
// started on the file and left to run on its own.
#pragma once

#include <string>
#include <vector>

namespace tarnhollow {

class SoundPlayer {
public:
    // Tried in order; the first that names an executable file (on PATH, or by a path
    // with a "/") plays. Each is run as `player FILE`.
    static std::vector<std::string> DefaultPlayers();

    explicit SoundPlayer(std::vector<std::string> players = DefaultPlayers());
    virtual ~SoundPlayer() = default;

    // Starts playing `path` and returns at once; true when a player was started. A
    // missing file or no player is silence, not an error. The file name reaches the
    // player as one argument, never through a shell.
    virtual bool Play(const std::string& path);

private:
    std::string FindPlayer() const;

    std::vector<std::string> players_;
};

}  // namespace tarnhollow
