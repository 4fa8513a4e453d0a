// Appending to the raw log and cutting its oldest part away past the size limit.
#include "gps/RawLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr size_t kCopyChunk = 64 * 1024;

long long PositionOfLineFeed(int fd, long long from, long long to) {
    std::vector<char> buffer(kCopyChunk);
    for (long long at = from; at < to;) {
        const ssize_t n = ::pread(fd, buffer.data(), static_cast<size_t>(std::min<long long>(to - at, kCopyChunk)), at);
        if (n <= 0) return -1;
        const auto found = std::find(buffer.begin(), buffer.begin() + n, '\n');
        if (found != buffer.begin() + n) return at + (found - buffer.begin());
        at += n;
    }
    return -1;
}

}  // namespace

void RawLog::Append(std::wstring_view text, const std::string& fileName, uint64_t limitBytes) {
    if (fileName != openedName_ || !file_.IsOpen()) {
        openedName_ = fileName;
        std::error_code ignored;
        const std::filesystem::path path(fileName);
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
        file_.Reset(::open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    }
    if (!file_.IsOpen()) return;
    // Not opened for appending: the cut below writes at the start of the file.
    if (::lseek(file_.Get(), 0, SEEK_END) < 0) return;
    WriteAll(file_.Get(), WideToAnsi(text));
    CutToLimit(limitBytes);
}

void RawLog::CutToLimit(uint64_t limitBytes) {
    const std::optional<long long> size = FileSize(file_.Get());
    if (!size || static_cast<uint64_t>(*size) <= limitBytes) return;
    // Below the size, so it fits.
    const auto limit = static_cast<long long>(limitBytes);
    long long cut = *size - limit + limit / 10;
    const long long lineFeed = PositionOfLineFeed(file_.Get(), cut, std::min(*size, cut + limit / 5));
    if (lineFeed >= 0) cut = lineFeed + 1;
    std::vector<char> buffer(kCopyChunk);
    for (long long from = cut; from < *size;) {
        const ssize_t n = ::pread(file_.Get(), buffer.data(), buffer.size(), from);
        // A copy that stopped half-way leaves the file as long as it was, not cut short.
        if (n <= 0 || ::pwrite(file_.Get(), buffer.data(), static_cast<size_t>(n), from - cut) != n) return;
        from += n;
    }
    // A failure leaves the moved text followed by the old tail, which the next cut removes.
    [[maybe_unused]] const int truncated = ::ftruncate(file_.Get(), *size - cut);
}

}  // namespace tarnhollow
