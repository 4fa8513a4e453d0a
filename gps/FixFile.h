// The fix file that carries the track across runs: UTF-16 little-endian text without a
// byte-order mark, one line per fix, oldest first, each field followed by "," and the
// line ended by LF, as every version of the program has written it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "gps/GpsFix.h"

namespace tarnhollow {

// Only the end of a larger file is read: the newest fixes are at its end.
inline constexpr size_t kMaxFixFileBytes = 16 * 1024 * 1024;
// A line longer than this holds no fix of ours and is skipped.
inline constexpr size_t kMaxFixLineChars = 1024;

// The fixes of a fix file's bytes. A line's fields are its non-empty comma-separated
// pieces, at most three; a line with none is skipped. Only the newest `keepNewest`
// fixes are kept.
std::vector<GpsFix> ParseFixFile(std::string_view bytes, size_t keepNewest);

std::string FormatFixFile(const std::vector<GpsFix>& fixes);

// An empty track when the file is missing or cannot be read.
std::vector<GpsFix> LoadFixFile(const std::string& path, size_t keepNewest);

// Writes beside the file and then replaces it, so that a failed write keeps the track
// that was there. False when the file cannot be written.
bool SaveFixFile(const std::string& path, const std::vector<GpsFix>& fixes);

}  // namespace tarnhollow
