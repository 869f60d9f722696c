#include "src-base/platform/crash_deadline.h"

#include <windows.h>

namespace
{
// Made at start-up: during a crash the heap that a new thread needs may be the thing that is locked.
HANDLE deadline_started = nullptr;
volatile LONG deadline_seconds = 0;
volatile LONG deadline_status = 1;

DWORD WINAPI watch_deadline (LPVOID)
{
    WaitForSingleObject (deadline_started, INFINITE);
    Sleep (static_cast<DWORD> (deadline_seconds) * 1000);
    TerminateProcess (GetCurrentProcess(), static_cast<UINT> (deadline_status));
    return 0;
}
} // namespace

namespace Ziz::sys
{
void prepareCrashDeadline()
{
    if (deadline_started != nullptr)
        return;
    deadline_started = CreateEventA (nullptr, TRUE, FALSE, nullptr);
    if (deadline_started == nullptr)
        return;
    if (HANDLE watcher = CreateThread (nullptr, 64 * 1024, watch_deadline, nullptr, 0, nullptr))
        CloseHandle (watcher);
}

void startCrashDeadline (unsigned seconds, int status)
{
    deadline_seconds = static_cast<LONG> (seconds);
    deadline_status = status;
    if (deadline_started != nullptr)
        SetEvent (deadline_started);
}
} // namespace Ziz::sys
