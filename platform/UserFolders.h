// Where this user's files live: the documents folder, the settings file and the folder
// for the files the program writes itself.
#pragma once

#include <string>

namespace tarnhollow {

// XDG_DOCUMENTS_DIR from user-dirs.dirs, else ~/Documents; no trailing "/".
std::string DocumentsFolder();

// ${XDG_CONFIG_HOME:-~/.config}/tarnhollow/settings.toml
std::string DefaultSettingsFile();

// ${XDG_STATE_HOME:-~/.local/state}/tarnhollow/ (with the trailing "/").
std::string StateFolder();

// ${XDG_CACHE_HOME:-~/.cache}/tarnhollow/ (with the trailing "/"): files the program
// can make again, such as thumbnails.
std::string CacheFolder();

// The machine's host name, empty when unknown.
std::string HostName();

}  // namespace tarnhollow
