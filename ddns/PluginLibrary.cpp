// The plug-in search in the executable's folder and the dlopen binding.
#include "ddns/PluginLibrary.h"

#include <dlfcn.h>

#include <filesystem>

#include "platform/TextConvert.h"

namespace tarnhollow {

std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

std::string FindPlugin(const std::string& folder) {
    if (folder.empty()) return std::string();
    std::error_code error;
    std::string first;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 7 || !StartsWithIgnoringAsciiCase(name, "ddns") ||
            !EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 3), ".so")) {
            continue;
        }
        std::error_code kindError;
        if (!it->is_regular_file(kindError)) continue;
        if (first.empty() || name < first) first = name;
    }
    return first.empty() ? std::string() : folder + "/" + first;
}

PluginEntries LoadPlugin(const std::string& folder, std::string& error) {
    PluginEntries entries;
    const std::string path = FindPlugin(folder);
    if (path.empty()) return entries;
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = ::dlerror();
        error = reason ? reason : "cannot be loaded";
        return entries;
    }
    entries.path = path;
    entries.start = reinterpret_cast<TarnhollowDdnsStart>(::dlsym(library, "Start"));
    entries.registerAccount = reinterpret_cast<TarnhollowDdnsRegister>(::dlsym(library, "Register"));
    entries.patchOptions = reinterpret_cast<TarnhollowDdnsPatchOptions>(::dlsym(library, "PatchOptions"));
    entries.configure = reinterpret_cast<TarnhollowDdnsConfigure>(::dlsym(library, "Configure"));
    return entries;
}

}  // namespace tarnhollow
