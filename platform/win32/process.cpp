#include "platform/process.h"

#include <windows.h>

namespace ovplat {

std::uint32_t current_process_id() { return GetCurrentProcessId(); }

void exit_immediately(int code) {
    // TerminateProcess skips DLL detach notifications, so a stuck plug-in cannot hold us up.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));
}

void crash_immediately() {
    // The exit status a fail-fast crash leaves behind, without a debugger or error dialog.
    constexpr UINT kStatusStackBufferOverrun = 0xC0000409u;
    TerminateProcess(GetCurrentProcess(), kStatusStackBufferOverrun);
    ExitProcess(kStatusStackBufferOverrun);
}

}  // namespace ovplat
