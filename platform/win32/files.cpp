#include "platform/files.h"

#include <windows.h>

#include "wide_text.h"

namespace ovplat {

std::variant<std::string, FileError> read_utf8_file(const std::string& path) {
    const auto wide_path = win32::utf8_to_utf16(path);
    if (!wide_path) return FileError{win32::describe_error(ERROR_INVALID_NAME)};
    const HANDLE file = CreateFileW(wide_path->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileError{win32::describe_error(GetLastError())};
    std::string content;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            const DWORD code = GetLastError();
            CloseHandle(file);
            return FileError{win32::describe_error(code)};
        }
        if (got == 0) break;
        content.append(buffer, got);
    }
    CloseHandle(file);
    if (!ov::text::is_valid_utf8(content)) return FileError{kNotUtf8Reason};
    return content;
}

}  // namespace ovplat
