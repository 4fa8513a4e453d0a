// The raw log: a size-limited diagnostic text file (UTF-8, LF line breaks, no time
// stamps) of port attempts, rejected sentences and accepted fixes. Used by the
// reader's thread alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace tarnhollow {

class RawLog {
public:
    // Appends `text` to the file `fileName` (opened on the first append, and again when
    // the name changes or the last open failed; its folder is created when missing).
    // Past `limitBytes` the oldest part is cut away, from a line boundary where one lies
    // near the cut. Failures drop the text quietly.
    void Append(std::wstring_view text, const std::string& fileName, uint64_t limitBytes);

private:
    void CutToLimit(uint64_t limitBytes);

    UniqueFd file_;
    std::string openedName_;
};

}  // namespace tarnhollow
