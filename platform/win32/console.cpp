#include "platform/console.h"

#include <windows.h>
#include <shellapi.h>

#include "wide_text.h"

namespace ovplat {
namespace {

bool write_all(DWORD which, std::string_view bytes) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

std::vector<std::string> command_line_arguments(int, char**) {
    // The narrow argv is in the ANSI code page and loses characters; the UTF-16 line keeps them.
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(win32::utf16_to_utf8_lossy(wide[i]));
    LocalFree(wide);
    return arguments;
}

Utf8ConsoleOutput::Utf8ConsoleOutput() : previous_code_page_(GetConsoleOutputCP()) {
    if (previous_code_page_ != 0 && previous_code_page_ != CP_UTF8) SetConsoleOutputCP(CP_UTF8);
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
    if (previous_code_page_ != 0 && previous_code_page_ != CP_UTF8) SetConsoleOutputCP(previous_code_page_);
}

bool write_standard_output(std::string_view bytes) { return write_all(STD_OUTPUT_HANDLE, bytes); }
bool write_standard_error(std::string_view bytes) { return write_all(STD_ERROR_HANDLE, bytes); }

}  // namespace ovplat
