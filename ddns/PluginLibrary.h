// Finding and loading the dynamic DNS plug-in beside the executable, and its exports.
#pragma once

#include <string>

#include "ddns/DynDnsPlugin.h"

namespace tarnhollow {

// The folder of the running executable; empty when it cannot be told.
std::string ExecutableFolder();

// The exports of the loaded plug-in; each may be missing (null).
struct PluginEntries {
    std::string path;  // the library loaded; empty when none was
    TarnhollowDdnsStart start = nullptr;
    TarnhollowDdnsRegister registerAccount = nullptr;
    TarnhollowDdnsPatchOptions patchOptions = nullptr;
    TarnhollowDdnsConfigure configure = nullptr;
};

// The first file of `folder`, in byte-wise name order, whose name begins with "ddns"
// and ends with ".so" (letter case ignored); empty when there is none.
std::string FindPlugin(const std::string& folder);

// Loads the first plug-in of `folder` and looks up its exports. A library stays loaded
// until the process ends: its code may still be on a worker's stack at exit. A library
// that does not load leaves every entry null and says why in `error`.
PluginEntries LoadPlugin(const std::string& folder, std::string& error);

}  // namespace tarnhollow
