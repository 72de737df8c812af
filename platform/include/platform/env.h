#pragma once
#include <optional>
#include <string>

namespace ovplat {

// The variable's value as UTF-8; absent when unset or not valid Unicode.
std::optional<std::string> env_var(const char* name);

// The user's roaming application-data folder as UTF-8 (FOLDERID_RoamingAppData on Windows;
// elsewhere $APPDATA, else $XDG_CONFIG_HOME, else $HOME/.config); absent when unknown.
std::optional<std::string> roaming_app_data_folder();

// Joins a folder and a relative path with the system's separator.
std::string join_path(const std::string& folder, const std::string& relative);

}  // namespace ovplat
