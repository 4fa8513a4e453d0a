// The positions table, its statements, and the nearest-first selection.
#include "directory/NearMeStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

#include "directory/DirectoryLimits.h"

namespace tarnhollow::directory {

NearMeStore::~NearMeStore() {
    sqlite3_finalize(upsert_);
    sqlite3_finalize(prune_);
    sqlite3_finalize(recent_);
    sqlite3_close(database_);
}

bool NearMeStore::Open(const std::string& path, std::string& error) {
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    if (sqlite3_open_v2(path.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = database_ ? sqlite3_errmsg(database_) : "out of memory";
        return false;
    }
    // Writes happen on the event loop: the write-ahead log without a sync per update
    // keeps each one short; a crash may lose the last updates, which devices repeat.
    const char* schema =
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=NORMAL;"
        "CREATE TABLE IF NOT EXISTS positions ("
        " server TEXT PRIMARY KEY, fix_time INTEGER NOT NULL, longitude REAL NOT NULL,"
        " latitude REAL NOT NULL, port INTEGER NOT NULL, updated INTEGER NOT NULL);"
        "CREATE INDEX IF NOT EXISTS positions_updated ON positions(updated);";
    char* message = nullptr;
    if (sqlite3_exec(database_, schema, nullptr, nullptr, &message) != SQLITE_OK) {
        error = message ? message : "cannot create the positions table";
        sqlite3_free(message);
        return false;
    }
    const auto prepare = [&](const char* sql, sqlite3_stmt** statement) {
        if (sqlite3_prepare_v2(database_, sql, -1, statement, nullptr) == SQLITE_OK) return true;
        error = sqlite3_errmsg(database_);
        return false;
    };
    return prepare("INSERT INTO positions (server, fix_time, longitude, latitude, port, updated)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(server) DO UPDATE SET"
                   " fix_time = ?2, longitude = ?3, latitude = ?4, port = ?5, updated = ?6",
                   &upsert_) &&
           prepare("DELETE FROM positions WHERE updated < ?1", &prune_) &&
           prepare("SELECT server, fix_time, longitude, latitude, port FROM positions WHERE updated >= ?1", &recent_);
}

bool NearMeStore::Update(const NearMeUpdate& update, int64_t now) {
    if (!database_) return false;
    sqlite3_bind_text(upsert_, 1, update.server.data(), static_cast<int>(update.server.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(upsert_, 2, update.time);
    sqlite3_bind_double(upsert_, 3, update.longitude);
    sqlite3_bind_double(upsert_, 4, update.latitude);
    sqlite3_bind_int(upsert_, 5, update.port);
    sqlite3_bind_int64(upsert_, 6, now);
    const bool stored = sqlite3_step(upsert_) == SQLITE_DONE;
    sqlite3_reset(upsert_);
    sqlite3_bind_int64(prune_, 1, now - kMaxNearMeAgeSeconds);
    sqlite3_step(prune_);
    sqlite3_reset(prune_);
    return stored;
}

std::vector<NearMePosition> NearMeStore::Nearest(const NearMeRequest& request, int64_t now) {
    std::vector<std::pair<double, NearMePosition>> found;
    if (!database_) return {};
    sqlite3_bind_int64(recent_, 1, now - request.maxAgeSeconds);
    while (sqlite3_step(recent_) == SQLITE_ROW) {
        NearMePosition position;
        const unsigned char* server = sqlite3_column_text(recent_, 0);
        if (!server) continue;
        position.server = reinterpret_cast<const char*>(server);
        position.time = sqlite3_column_int(recent_, 1);
        position.longitude = sqlite3_column_double(recent_, 2);
        position.latitude = sqlite3_column_double(recent_, 3);
        position.port = sqlite3_column_int(recent_, 4);
        const double distance =
            DistanceKilometres(request.latitude, request.longitude, position.latitude, position.longitude);
        found.emplace_back(distance, std::move(position));
    }
    sqlite3_reset(recent_);
    const size_t count = std::min(found.size(), static_cast<size_t>(request.maxResults));
    std::partial_sort(found.begin(), found.begin() + static_cast<long>(count), found.end(),
                      [](const auto& a, const auto& b) {
                          return a.first != b.first ? a.first < b.first : a.second.server < b.second.server;
                      });
    std::vector<NearMePosition> nearest;
    for (size_t i = 0; i < count; ++i) nearest.push_back(std::move(found[i].second));
    return nearest;
}

}  // namespace tarnhollow::directory
