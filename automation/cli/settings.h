#pragma once
// Where ovctl finds Orvia: the port, the token and whether the API is on, from the options,
// the environment and Orvia's settings file. Never fails; missing pieces are reported later.
#include "types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovctl {

// What Orvia's settings file says; every member is absent when the file does not say it
// in the expected type.
struct SettingsFile {
    std::optional<std::string> token;
    std::optional<std::uint16_t> port;
    ApiEnabled api_enabled = ApiEnabled::Unstated;
};

// The values of ORVIA_API_PORT and ORVIA_API_TOKEN as read (absent when unset or not Unicode).
struct SettingsEnvironment {
    std::optional<std::string> port;
    std::optional<std::string> token;
};

// Reads the keys of the settings file's text; text that is not a JSON object has no keys.
SettingsFile parse_settings_file(std::string_view text);

// The settings by precedence: options, then environment, then file, then the default port.
Settings combine_settings(const GlobalOptions& options, const SettingsEnvironment& environment, const SettingsFile& file);

// <roaming application data>/Orvia/settings.json; absent when the folder is unknown.
std::optional<std::string> settings_file_path();

// Reads the settings file and the environment of this process and combines them.
Settings load_settings(const GlobalOptions& options);

}  // namespace ovctl
