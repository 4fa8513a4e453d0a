// The settings file: TOML through toml++, written atomically (temporary file, fsync,
// rename) with mode 0600, and never overwritten when it does not parse.
#include "platform/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>
#include <toml++/toml.h>

#include "platform/TextConvert.h"

namespace tarnhollow {

struct SettingsKey::Values {
    toml::table table;
};

SettingsKey::SettingsKey() : values(std::make_unique<Values>()) {}
SettingsKey::~SettingsKey() = default;

namespace {

std::string settingsPath;
// Writers re-read the file under this lock, so a value written by one part of the
// program is never lost to another part's write through an older key.
std::mutex writeLock;

enum class LoadResult { Loaded, Missing, Broken };

LoadResult Load(const std::string& path, toml::table& table) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return LoadResult::Missing;
    try {
        table = toml::parse_file(path);
        return LoadResult::Loaded;
    } catch (const toml::parse_error& error) {
        std::string aside = path + ".bad-" + std::to_string(std::time(nullptr));
        std::error_code renameError;
        std::filesystem::rename(path, aside, renameError);
        std::cerr << "tarnhollow: the settings file " << path << " does not parse ("
                  << error.description() << " at line " << error.source().begin.line << "); "
                  << (renameError ? "it is left as it is" : "it was moved to " + aside)
                  << " and defaults apply.\n";
        table = toml::table();
        return LoadResult::Broken;
    }
}

bool Save(const std::string& path, const toml::table& table) {
    std::filesystem::path target(path);
    std::string temp = (target.parent_path() / (target.filename().string() + ".tmp-XXXXXX")).string();
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    ::fchmod(fd, 0600);
    std::ostringstream text;
    text << table << "\n";
    const std::string bytes = text.str();
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

void Write(SettingsKey* key, std::wstring_view name, toml::node&& value, bool isInteger) {
    if (!key) return;
    std::lock_guard<std::mutex> lock(writeLock);
    toml::table current;
    // A file broken since the key was opened is moved aside by Load; its values are lost
    // to this process either way, and the key's own view is what gets written.
    if (Load(settingsPath, current) != LoadResult::Loaded) current = key->values->table;
    const std::string k = WideToAnsi(name);
    if (isInteger) {
        current.insert_or_assign(k, *value.as_integer());
        key->values->table.insert_or_assign(k, *value.as_integer());
    } else {
        current.insert_or_assign(k, *value.as_string());
        key->values->table.insert_or_assign(k, *value.as_string());
    }
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
    Load(settingsPath, key->values->table);
    return key;
}

uint32_t ReadDword(SettingsKey* key, std::wstring_view name, uint32_t defaultValue) {
    if (!key) return defaultValue;
    if (const toml::node* node = key->values->table.get(WideToAnsi(name))) {
        if (auto value = node->value_exact<int64_t>()) {
            if (*value >= 0 && *value <= 0xFFFFFFFFLL) return static_cast<uint32_t>(*value);
        }
    }
    WriteDword(key, name, defaultValue);
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
    WriteString(key, name, defaultValue);
    return defaultValue;
}

void WriteDword(SettingsKey* key, std::wstring_view name, uint32_t value) {
    Write(key, name, toml::value<int64_t>(static_cast<int64_t>(value)), true);
}

void WriteString(SettingsKey* key, std::wstring_view name, std::wstring_view text) {
    Write(key, name, toml::value<std::string>(WideToAnsi(text)), false);
}

}  // namespace tarnhollow
