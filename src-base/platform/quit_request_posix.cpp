#include "src-base/platform/quit_request.h"

#include <initializer_list>
#include <csignal>

namespace Ziz::sys
{
namespace
{
volatile std::sig_atomic_t quitFlag = 0;

extern "C" void onQuitSignal (int) { quitFlag = 1; }
} // namespace

void installQuitRequestHandlers()
{
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
        sigaction (signalNumber, &action, nullptr);
}

bool quitRequested() { return quitFlag != 0; }
} // namespace Ziz::sys
