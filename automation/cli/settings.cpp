#include "settings.h"

#include "ov/text.h"
#include "platform/env.h"
#include "platform/files.h"
#include "words.h"

namespace ovctl {
namespace {

constexpr std::uint16_t kDefaultPort = 47101;

std::optional<std::uint16_t> port_member(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto port = value.get<std::uint64_t>();
        if (port <= 65535) return static_cast<std::uint16_t>(port);
    } else if (value.is_number_integer()) {
        const auto port = value.get<std::int64_t>();
        if (port >= 0 && port <= 65535) return static_cast<std::uint16_t>(port);
    }
    return std::nullopt;
}

}  // namespace

SettingsFile parse_settings_file(std::string_view text) {
    SettingsFile file;
    // Windows editors save the file with a byte-order mark; it is not part of the JSON.
    const auto parsed = ov::parse_json_skipping_bom(text);
    if (!parsed.value || !parsed.value->is_object()) return file;
    const Json& object = *parsed.value;
    if (const auto enabled = object.find("apiEnabled"); enabled != object.end() && enabled->is_boolean()) {
        file.api_enabled = enabled->get<bool>() ? ApiEnabled::On : ApiEnabled::Off;
    }
    if (const auto port = object.find("apiPort"); port != object.end()) file.port = port_member(*port);
    if (const auto token = object.find("apiToken"); token != object.end() && token->is_string()) {
        file.token = token->get<std::string>();  // used exactly as written, spaces and all
    }
    return file;
}

Settings combine_settings(const GlobalOptions& options, const SettingsEnvironment& environment, const SettingsFile& file) {
    Settings settings;
    settings.api_enabled = file.api_enabled;

    std::optional<std::uint16_t> environment_port;
    if (environment.port) environment_port = parse_u16(ov::text::trim(*environment.port));
    settings.port = options.port.value_or(environment_port.value_or(file.port.value_or(kDefaultPort)));

    std::optional<std::string> environment_token;
    if (environment.token) {
        const std::string_view trimmed = ov::text::trim(*environment.token);
        if (!trimmed.empty()) environment_token = std::string(trimmed);
    }
    if (options.token) {
        settings.token = options.token;  // even when it is empty
    } else if (environment_token) {
        settings.token = environment_token;
    } else {
        settings.token = file.token;
    }
    return settings;
}

std::optional<std::string> settings_file_path() {
    const auto folder = ovplat::roaming_app_data_folder();
    if (!folder) return std::nullopt;
    return ovplat::join_path(ovplat::join_path(*folder, "Orvia"), "settings.json");
}

Settings load_settings(const GlobalOptions& options) {
    SettingsFile file;
    if (const auto path = settings_file_path()) {
        const auto content = ovplat::read_utf8_file(*path);
        if (const auto* text = std::get_if<std::string>(&content)) file = parse_settings_file(*text);
    }
    const SettingsEnvironment environment{ovplat::env_var("ORVIA_API_PORT"), ovplat::env_var("ORVIA_API_TOKEN")};
    return combine_settings(options, environment, file);
}

}  // namespace ovctl
