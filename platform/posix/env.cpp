#include "platform/env.h"

#include "ov/text.h"

#include <cstdlib>

namespace ovplat {
namespace {

std::optional<std::string> non_empty_env(const char* name) {
    auto value = env_var(name);
    if (!value || value->empty()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::string> env_var(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    std::string text(value);
    if (!ov::text::is_valid_utf8(text)) return std::nullopt;
    return text;
}

std::optional<std::string> roaming_app_data_folder() {
    if (auto folder = non_empty_env("APPDATA")) return folder;
    if (auto folder = non_empty_env("XDG_CONFIG_HOME")) return folder;
    if (auto home = non_empty_env("HOME")) return join_path(*home, ".config");
    return std::nullopt;
}

std::string join_path(const std::string& folder, const std::string& relative) {
    if (folder.empty() || folder.back() == '/') return folder + relative;
    return folder + "/" + relative;
}

}  // namespace ovplat
