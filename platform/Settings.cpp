// The settings file: TOML through toml++, written atomically (temporary file, fsync,
// rename) with mode 0600 through any links to it, and never overwritten when it does not
// parse or cannot be read.
#include "platform/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <toml++/toml.h>

#include "platform/File.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

struct SettingsKey::Values {
    toml::table table;
    // The file was there but could not be read when the key was opened: its values are
    // unknown, so a missing one is not written back with its default.
    bool unreadable = false;
};

SettingsKey::SettingsKey() : values(std::make_unique<Values>()) {}
SettingsKey::~SettingsKey() = default;

namespace {

std::string settingsPath;
// Writers re-read the file under this lock, so a value written by one part of the
// program is never lost to another part's write through an older key.
std::mutex writeLock;
// Read errors already told to the user (path and reason). The file is read on every key
// open, so a lasting error would otherwise repeat its message many times a second.
// Guarded by writeLock.
std::set<std::string> reportedReadErrors;

enum class LoadResult { Loaded, Missing, Broken, Unreadable };

// Reads the whole file into `text`. Returns why it could not be read, empty on success;
// a file that does not exist sets `missing` instead, since that only means defaults.
std::string ReadText(const std::string& path, std::string& text, bool& missing) {
    // Non-blocking so that a FIFO in the file's place cannot hold up the caller.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) missing = true;
        return std::strerror(errno);
    }
    std::string why;
    struct stat st;
    if (::fstat(fd, &st) != 0) why = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) why = std::strerror(EISDIR);
    else if (!S_ISREG(st.st_mode)) why = "not a regular file";
    char buffer[8192];
    while (why.empty()) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) why = std::strerror(errno);
        else if (n == 0) break;
        else text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return why;
}

// The file a write replaces: the last target of a chain of symbolic links, so a link the
// user made (a dotfile manager's, say) stays a link. Empty when the chain never ends.
std::string FinalTarget(const std::string& path) {
    std::filesystem::path current(path);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, ec))) {
            return current.string();
        }
        std::filesystem::path next = std::filesystem::read_symlink(current, ec);
        if (ec) return {};
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return {};
}

LoadResult Load(const std::string& path, toml::table& table) {
    table = toml::table();
    std::string text;
    bool missing = false;
    const std::string why = ReadText(path, text, missing);
    if (missing) return LoadResult::Missing;
    if (!why.empty()) {
        // Not a parse error: the user's settings may be intact (no descriptor left, a
        // permission, a folder in the way), so the file is neither moved nor replaced.
        if (reportedReadErrors.insert(path + '\n' + why).second) {
            std::cerr << "tarnhollow: the settings file " << path << " cannot be read (" << why
                      << "); defaults apply and nothing is written to it until it can be read.\n";
        }
        return LoadResult::Unreadable;
    }
    try {
        table = toml::parse(text, path);
        return LoadResult::Loaded;
    } catch (const toml::parse_error& error) {
        // The link's target is what is broken; moving it rather than the link keeps the link.
        std::string broken = FinalTarget(path);
        if (broken.empty()) broken = path;
        std::string aside = broken + ".bad-" + std::to_string(std::time(nullptr));
        std::error_code renameError;
        std::filesystem::rename(broken, aside, renameError);
        std::cerr << "tarnhollow: the settings file " << path << " does not parse ("
                  << error.description() << " at line " << error.source().begin.line << "); "
                  << (renameError ? "it is left as it is" : "it was moved to " + aside)
                  << " and defaults apply.\n";
        return LoadResult::Broken;
    }
}

bool Save(const std::string& path, const toml::table& table) {
    const std::string destination = FinalTarget(path);
    if (destination.empty()) return false;
    // The temporary file sits beside the final target, so the rename stays within one
    // folder and therefore atomic.
    std::filesystem::path target(destination);
    std::string temp = (target.parent_path() / (target.filename().string() + ".tmp-XXXXXX")).string();
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    ::fchmod(fd, 0600);
    std::ostringstream text;
    text << table << "\n";
    const std::string bytes = text.str();
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), destination.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

void Write(SettingsKey* key, std::wstring_view name, toml::node&& value, bool isInteger) {
    if (!key) return;
    const std::string k = WideToAnsi(name);
    if (isInteger) key->values->table.insert_or_assign(k, *value.as_integer());
    else key->values->table.insert_or_assign(k, *value.as_string());
    std::lock_guard<std::mutex> lock(writeLock);
    toml::table current;
    switch (Load(settingsPath, current)) {
    case LoadResult::Loaded:
        break;
    case LoadResult::Unreadable:
        // Whatever is written now would replace the user's file with a partial view.
        return;
    case LoadResult::Missing:
    case LoadResult::Broken:
        // A file broken since the key was opened is moved aside by Load; its values are
        // lost to this process either way, and the key's own view is what gets written.
        current = key->values->table;
        break;
    }
    if (isInteger) current.insert_or_assign(k, *value.as_integer());
    else current.insert_or_assign(k, *value.as_string());
    Save(settingsPath, current);
}

}  // namespace

void SetSettingsFile(const std::string& path) { settingsPath = path; }
const std::string& SettingsFile() { return settingsPath; }

std::unique_ptr<SettingsKey> OpenSettingsKey() {
    if (settingsPath.empty()) return nullptr;
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(settingsPath).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
        if (ec) return nullptr;
    }
    auto key = std::make_unique<SettingsKey>();
    std::lock_guard<std::mutex> lock(writeLock);
    key->values->unreadable = Load(settingsPath, key->values->table) == LoadResult::Unreadable;
    return key;
}

uint32_t ReadDword(SettingsKey* key, std::wstring_view name, uint32_t defaultValue) {
    if (!key) return defaultValue;
    if (const toml::node* node = key->values->table.get(WideToAnsi(name))) {
        if (auto value = node->value_exact<int64_t>()) {
            if (*value >= 0 && *value <= 0xFFFFFFFFLL) return static_cast<uint32_t>(*value);
        }
    }
    if (!key->values->unreadable) WriteDword(key, name, defaultValue);
    return defaultValue;
}

uint32_t ReadBool(SettingsKey* key, std::wstring_view name, uint32_t defaultValue) {
    return ReadDword(key, name, defaultValue) != 0 ? 1 : 0;
}

std::wstring ReadString(SettingsKey* key, std::wstring_view name, const wchar_t* defaultValue) {
    if (!key) return defaultValue ? defaultValue : L"";
    if (const toml::node* node = key->values->table.get(WideToAnsi(name))) {
        if (auto value = node->value_exact<std::string>()) {
            std::wstring text = AnsiToWide(*value);
            if (text.size() <= kMaxSettingChars) return text;
            // Too long to read back: a failed read, but the user's value is kept.
            return defaultValue ? defaultValue : L"";
        }
    }
    if (!defaultValue) return L"";
    if (!key->values->unreadable) WriteString(key, name, defaultValue);
    return defaultValue;
}

void WriteDword(SettingsKey* key, std::wstring_view name, uint32_t value) {
    Write(key, name, toml::value<int64_t>(static_cast<int64_t>(value)), true);
}

void WriteString(SettingsKey* key, std::wstring_view name, std::wstring_view text) {
    Write(key, name, toml::value<std::string>(WideToAnsi(text)), false);
}

}  // namespace tarnhollow
