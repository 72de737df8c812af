#include "platform/stdio.h"

#include <windows.h>
#include <shellapi.h>

#include <mutex>

namespace ovplat {

namespace {

std::string to_utf8(const wchar_t* text) {
    const int length = static_cast<int>(wcslen(text));
    if (length == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

// A usable handle, or null: a windowed program may have no standard streams at all.
HANDLE standard_handle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void write_all(HANDLE handle, std::string_view bytes) {
    if (!handle) return;
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD put = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &put, nullptr) || put == 0) return;
        bytes.remove_prefix(put);
    }
}

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
        return arguments;
    }
    for (int i = 1; i < count; ++i) arguments.push_back(to_utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

void prepare_standard_streams() {}

std::size_t read_stdin(char* buffer, std::size_t size) {
    HANDLE input = standard_handle(STD_INPUT_HANDLE);
    const DWORD room = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD got = 0;
    // A broken pipe is how the writer's end of input shows; other failures end input too.
    if (!input || !ReadFile(input, buffer, room, &got, nullptr)) return 0;
    return got;
}

void write_stdout_line(std::string_view line) {
    static std::mutex mutex;
    std::string piece;
    piece.reserve(line.size() + 1);
    piece.append(line);
    piece.push_back('\n');
    std::lock_guard<std::mutex> lock(mutex);
    // WriteFile keeps nothing back in this process, so the line is out once it returns.
    // (FlushFileBuffers on a pipe would wait until the reader has read it all.)
    write_all(standard_handle(STD_OUTPUT_HANDLE), piece);
}

void write_stderr(std::string_view text) { write_all(standard_handle(STD_ERROR_HANDLE), text); }

}  // namespace ovplat
