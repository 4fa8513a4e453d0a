// A log file that lines are appended to, one write per line, and that can be opened
// again under its name (after a log rotation moved the old one away).
#pragma once

#include <string>
#include <string_view>

#include "platform/File.h"

namespace tarnhollow {

class LogFile {
public:
    // Opens `path` for appending, creating it (mode 0640) when missing; false with the
    // errno value in `error` when it cannot be opened.
    bool Open(const std::string& path, int& error);
    // Closes the file and opens its name again; false (the file stays closed) on failure.
    bool Reopen(int& error);
    // Appends `line` in one write, so lines of concurrent writers never interleave; a line
    // that cannot be written (disk full) is dropped.
    void Append(std::string_view line);
    bool IsOpen() const { return file_.IsOpen(); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    UniqueFd file_;
};

}  // namespace tarnhollow
