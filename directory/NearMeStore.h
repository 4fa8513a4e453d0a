// The NearMe positions in an SQLite database file: one row per server name, written and
// read through prepared statements only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "directory/NearMeQuery.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tarnhollow::directory {

class NearMeStore {
public:
    NearMeStore() = default;
    ~NearMeStore();
    NearMeStore(const NearMeStore&) = delete;
    NearMeStore& operator=(const NearMeStore&) = delete;

    // Opens or creates the database at `path` (its folder too); false with `error`.
    bool Open(const std::string& path, std::string& error);

    // Keeps the position of `update.server` as of `now` (seconds since the epoch), and
    // forgets positions older than any request may ask for.
    bool Update(const NearMeUpdate& update, int64_t now);
    // The positions updated within the request's age, nearest first (ties by name), at
    // most its number.
    std::vector<NearMePosition> Nearest(const NearMeRequest& request, int64_t now);

private:
    sqlite3* database_ = nullptr;
    sqlite3_stmt* upsert_ = nullptr;
    sqlite3_stmt* prune_ = nullptr;
    sqlite3_stmt* recent_ = nullptr;
};

}  // namespace tarnhollow::directory
