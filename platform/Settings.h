// The settings store: named DWORD and string values kept in one TOML file, opened
// afresh each time, with the rule that every read writes its default back when the
// value is missing or of the wrong type.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarnhollow {

// An open view of the settings file; the values as they were read when it was opened,
// plus what was written through it since.
class SettingsKey {
public:
    SettingsKey();
    ~SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    struct Values;
    std::unique_ptr<Values> values;
};

// Longest string value that can be read back, in characters.
inline constexpr size_t kMaxSettingChars = 998;

// Chooses the settings file for this process; call before the first OpenSettingsKey.
void SetSettingsFile(const std::string& path);
const std::string& SettingsFile();

// Reads the file afresh (creating its folder when missing). Null when the folder
// cannot be made. A file that does not parse is moved aside, never overwritten, with
// one message on stderr; the key then starts empty so defaults apply. A file that is
// there but cannot be read is left alone: its key reads defaults and writes nothing, and
// no write reaches the file while it stays unreadable (one message per distinct error).
// A file that is a symbolic link stays one: writes replace the link's final target.
std::unique_ptr<SettingsKey> OpenSettingsKey();

// With a null key every read returns its default and writes nothing.
uint32_t ReadDword(SettingsKey* key, std::wstring_view name, uint32_t defaultValue);
// As ReadDword, but any non-zero value reads as 1.
uint32_t ReadBool(SettingsKey* key, std::wstring_view name, uint32_t defaultValue);
// `defaultValue` may be null: the read then returns empty and writes nothing.
std::wstring ReadString(SettingsKey* key, std::wstring_view name, const wchar_t* defaultValue);

// Write failures are ignored, as their callers expect.
void WriteDword(SettingsKey* key, std::wstring_view name, uint32_t value);
void WriteString(SettingsKey* key, std::wstring_view name, std::wstring_view text);

}  // namespace tarnhollow
