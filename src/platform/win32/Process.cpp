#include "platform/Process.h"

#include <windows.h>

namespace verup {

pid_t CurrentProcessId() { return static_cast<pid_t>(::GetCurrentProcessId()); }

bool ProcessIsRunning(pid_t pid)
{
    if (pid <= 0)
        return false;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // it exists, but is not ours to look at
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

}  // namespace verup
