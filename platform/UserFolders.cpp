// XDG base and user folders.
#include "platform/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace tarnhollow {

namespace {

std::string Home() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string FromEnvironment(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    // The XDG rules ignore relative paths.
    return (value && value[0] == '/') ? std::string(value) : fallback;
}

std::string StripTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string DocumentsFolder() {
    const std::string config = FromEnvironment("XDG_CONFIG_HOME", Home() + "/.config");
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string prefix = "XDG_DOCUMENTS_DIR=\"";
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(prefix.size());
        size_t quote = value.rfind('"');
        if (quote == std::string::npos) continue;
        value.resize(quote);
        if (value.compare(0, 5, "$HOME") == 0) value = Home() + value.substr(5);
        if (!value.empty() && value[0] == '/') return StripTrailingSlash(value);
    }
    return StripTrailingSlash(Home() + "/Documents");
}

std::string DefaultSettingsFile() {
    return FromEnvironment("XDG_CONFIG_HOME", Home() + "/.config") + "/tarnhollow/settings.toml";
}

std::string StateFolder() {
    return FromEnvironment("XDG_STATE_HOME", Home() + "/.local/state") + "/tarnhollow/";
}

std::string CacheFolder() { return FromEnvironment("XDG_CACHE_HOME", Home() + "/.cache") + "/tarnhollow/"; }

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::string();
    return name;
}

}  // namespace tarnhollow
