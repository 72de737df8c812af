#include "platform/env.h"

#include <windows.h>
#include <shlobj.h>

#include "wide_text.h"

namespace ovplat {

std::optional<std::string> env_var(const char* name) {
    const auto wide_name = win32::utf8_to_utf16(name);
    if (!wide_name) return std::nullopt;
    std::wstring value(64, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(wide_name->c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return win32::utf16_to_utf8_strict(value);  // invalid UTF-16 counts as unset
        }
        value.resize(length);  // the size it needs, terminator included
    }
}

std::optional<std::string> roaming_app_data_folder() {
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path);
    std::optional<std::string> folder;
    if (SUCCEEDED(result) && path != nullptr) folder = win32::utf16_to_utf8_strict(path);
    CoTaskMemFree(path);  // released whether the call succeeded or not
    return folder;
}

std::string join_path(const std::string& folder, const std::string& relative) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + relative;
    return folder + "\\" + relative;
}

}  // namespace ovplat
