// Naming and writing the files of the thumbnail cache.
#include "pages/ThumbnailCache.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "platform/File.h"

namespace tarnhollow {

namespace {

// FNV-1a, 64 bits: stable across runs and builds, which std::hash is not promised to be.
uint64_t Hash(uint64_t hash, std::string_view bytes) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

std::string ThumbnailCache::FileFor(std::string_view picturePath, long long size, std::time_t lastWrite) const {
    uint64_t hash = 0xcbf29ce484222325ULL;
    hash = Hash(hash, picturePath);
    hash = Hash(hash, std::string_view("\0", 1));
    hash = Hash(hash, std::to_string(size));
    hash = Hash(hash, std::string_view("\0", 1));
    hash = Hash(hash, std::to_string(static_cast<long long>(lastWrite)));
    char name[17];
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 15; i >= 0; --i, hash >>= 4) name[i] = kHex[hash & 15];
    name[16] = '\0';
    return folder_ + name + ".jpg";
}

bool ThumbnailCache::Store(const std::string& file, std::string_view bytes) const {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) return false;
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, error);
    // Unique within the process and across processes sharing the cache.
    static std::atomic<unsigned> counter{0};
    const std::string temporary = file + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    UniqueFd out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.IsOpen()) return false;
    const bool written = WriteAll(out.Get(), bytes);
    out.Reset();
    if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace tarnhollow
