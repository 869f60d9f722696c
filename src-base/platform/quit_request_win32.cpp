#include "src-base/platform/quit_request.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <atomic>

namespace Ziz::sys
{
namespace
{
std::atomic<bool> quitFlag { false };

// Runs on a thread of its own that Windows starts for the event.
BOOL WINAPI onConsoleEvent (DWORD event)
{
    switch (event)
    {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            quitFlag = true;
            return TRUE;

        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // Windows ends the process as soon as this handler returns: keep it waiting so that the
            // application can shut down in order. The process's own exit ends this thread; if that takes
            // too long, Windows' time-out for the event ends the process anyway.
            quitFlag = true;
            Sleep (INFINITE);
            return TRUE;

        default:
            return FALSE;
    }
}
} // namespace

void installQuitRequestHandlers() { SetConsoleCtrlHandler (onConsoleEvent, TRUE); }

bool quitRequested() { return quitFlag; }
} // namespace Ziz::sys
