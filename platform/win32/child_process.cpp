// Windows child process: CreateProcessW with three anonymous pipes, of which only the child's
// ends are inheritable (and, where supported, the only handles it inherits).
#include "platform/child_process.h"

#include "wide_text.h"

#include <thread>

namespace ovplat {
namespace {

std::wstring widen(std::string_view text) {
    auto wide = win32::utf8_to_utf16(text);
    return wide ? *wide : std::wstring();
}

std::string last_error_text() {
    const DWORD code = GetLastError();
    const std::string message = win32::system_message(code);
    const std::string code_text = win32::hresult_text(code);
    return message.empty() ? code_text : message + " (" + code_text + ")";
}

// One argument quoted the way the C runtime splits command lines back into argv.
void append_quoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < arg.size() && arg[i] == L'\\') ++i, ++backslashes;
        if (i == arg.size()) {
            line.append(backslashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        line += arg[i];
    }
    line += L'"';
}

std::wstring environment_block(const ChildEnvironment& changes) {
    auto same_name = [](std::wstring_view a, std::wstring_view b) {
        return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_EQUAL;
    };
    std::vector<std::wstring> names_changed;
    for (const auto& name : changes.unset) names_changed.push_back(widen(name));
    for (const auto& [name, value] : changes.set) names_changed.push_back(widen(name));

    std::wstring block;
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* entry = current; entry && *entry; entry += wcslen(entry) + 1) {
        std::wstring_view text(entry);
        // Entries such as "=C:=C:\dir" have an empty first name part: keep them.
        std::size_t eq = text.find(L'=', 1);
        std::wstring_view name = text.substr(0, eq);
        bool changed = false;
        for (const auto& n : names_changed) changed = changed || same_name(name, n);
        if (changed) continue;
        block += text;
        block += L'\0';
    }
    if (current) FreeEnvironmentStringsW(current);
    for (const auto& [name, value] : changes.set) {
        block += widen(name) + L"=" + widen(value);
        block += L'\0';
    }
    block += L'\0';
    return block;
}

// Reads one pipe until it ends, then closes it; owns the handle.
void pump(HANDLE pipe, std::shared_ptr<LineQueue> queue) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        queue->push_bytes(std::string_view(buffer, got));
    CloseHandle(pipe);
    queue->close();
}

class Win32ChildProcess final : public ChildProcess {
public:
    Win32ChildProcess(HANDLE process, DWORD pid, HANDLE stdin_write, HANDLE stdout_read, HANDLE stderr_read)
        : process_(process), pid_(pid), stdin_write_(stdin_write) {
        std::thread(pump, stdout_read, out_).detach();
        std::thread(pump, stderr_read, err_).detach();
    }
    ~Win32ChildProcess() override {
        // End of input is the polite way to end a child; one that ignores it is killed.
        close_stdin();
        if (!wait(2000)) {
            kill();
            wait(10000);
        }
        CloseHandle(process_);
    }
    bool write(std::string_view bytes) override {
        while (!bytes.empty() && stdin_write_) {
            DWORD put = 0;
            if (!WriteFile(stdin_write_, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr)) return false;
            bytes.remove_prefix(put);
        }
        return bytes.empty();
    }
    void close_stdin() override {
        if (stdin_write_) CloseHandle(stdin_write_);
        stdin_write_ = nullptr;
    }
    std::optional<int> wait(std::uint32_t timeout_ms) override {
        if (WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return static_cast<int>(code);
    }
    void kill() override { TerminateProcess(process_, 1); }
    std::uint32_t pid() const override { return pid_; }

private:
    HANDLE process_;
    DWORD pid_;
    HANDLE stdin_write_;
};

// A pipe whose `child_end` (0 = read end, 1 = write end) is inheritable and the other is not.
bool make_pipe(HANDLE& read_end, HANDLE& write_end, int child_end) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return false;
    SetHandleInformation(child_end == 0 ? write_end : read_end, HANDLE_FLAG_INHERIT, 0);
    return true;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                                                  const ChildEnvironment& environment, std::string& error) {
    HANDLE in_read = nullptr, in_write = nullptr, out_read = nullptr, out_write = nullptr;
    HANDLE err_read = nullptr, err_write = nullptr;
    auto close_all = [&] {
        for (HANDLE h : {in_read, in_write, out_read, out_write, err_read, err_write})
            if (h) CloseHandle(h);
    };
    if (!make_pipe(in_read, in_write, 0) || !make_pipe(out_read, out_write, 1) ||
        !make_pipe(err_read, err_write, 1)) {
        error = last_error_text();
        close_all();
        return nullptr;
    }

    std::wstring command_line;
    append_quoted(command_line, widen(program));
    for (const auto& arg : args) {
        command_line += L' ';
        append_quoted(command_line, widen(arg));
    }
    std::wstring env_block = environment_block(environment);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = in_read;
    startup.StartupInfo.hStdOutput = out_write;
    startup.StartupInfo.hStdError = err_write;

    // Restrict inheritance to the three pipe ends, so that handles another thread makes
    // inheritable at the same moment never leak into this child.
    HANDLE inherited[3] = {in_read, out_write, err_write};
    std::vector<unsigned char> attribute_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST attributes = nullptr;
    SIZE_T attribute_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attribute_size);
    if (attribute_size > 0) {
        attribute_storage.resize(attribute_size);
        attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_storage.data());
        if (!InitializeProcThreadAttributeList(attributes, 1, 0, &attribute_size)) {
            attributes = nullptr;
        } else if (!UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                              sizeof inherited, nullptr, nullptr)) {
            DeleteProcThreadAttributeList(attributes);
            attributes = nullptr;
        }
    }
    startup.lpAttributeList = attributes;
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW | (attributes ? EXTENDED_STARTUPINFO_PRESENT : 0);

    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, flags, env_block.data(),
                                  nullptr, &startup.StartupInfo, &info);
    if (!started) error = last_error_text();
    if (attributes) DeleteProcThreadAttributeList(attributes);
    CloseHandle(in_read);
    CloseHandle(out_write);
    CloseHandle(err_write);
    in_read = out_write = err_write = nullptr;
    if (!started) {
        close_all();
        return nullptr;
    }
    CloseHandle(info.hThread);
    return std::make_unique<Win32ChildProcess>(info.hProcess, info.dwProcessId, in_write, out_read, err_read);
}

}  // namespace ovplat
