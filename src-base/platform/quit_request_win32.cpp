#include "src-base/platform/quit_request.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <utility>

namespace Ziz::sys
{
namespace
{
std::function<void()> handOver;
std::atomic<bool> requested { false };

void request()
{
    if (! requested.exchange (true) && handOver)
        handOver();
}

// Runs on a thread of its own that Windows starts for the event.
BOOL WINAPI onConsoleEvent (DWORD event)
{
    switch (event)
    {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            request();
            return TRUE;

        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // Windows ends the process as soon as this handler returns: keep it waiting so that the
            // application can shut down in order. The process's own exit ends this thread; if that takes
            // too long, Windows' time-out for the event ends the process anyway.
            request();
            Sleep (INFINITE);
            return TRUE;

        default:
            return FALSE;
    }
}
} // namespace

void installQuitRequestHandlers (std::function<void()> onQuitRequest)
{
    handOver = std::move (onQuitRequest);
    SetConsoleCtrlHandler (onConsoleEvent, TRUE);
}
} // namespace Ziz::sys
