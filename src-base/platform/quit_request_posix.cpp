#include "src-base/platform/quit_request.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <thread>
#include <unistd.h>
#include <utility>

namespace Ziz::sys
{
namespace
{
// The signal handler may only write: a watcher thread blocked on the other end of this pipe does the rest.
int wakeFds[2] = { -1, -1 };

extern "C" void onQuitSignal (int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write (wakeFds[1], &byte, 1);
    errno = savedErrno;
}

void watch (std::function<void()> onQuitRequest)
{
    char byte = 0;
    for (;;)
    {
        const auto got = ::read (wakeFds[0], &byte, 1);
        if (got == 1)
            break;
        if (got < 0 && errno == EINTR)
            continue;
        return;
    }
    // Further signals only fill the pipe, and a full pipe makes the handler's write fail harmlessly.
    onQuitRequest();
}
} // namespace

void installQuitRequestHandlers (std::function<void()> onQuitRequest)
{
    if (wakeFds[0] >= 0 || ::pipe (wakeFds) != 0)
        return;
    for (int fd : wakeFds)
        ::fcntl (fd, F_SETFD, FD_CLOEXEC);
    ::fcntl (wakeFds[1], F_SETFL, ::fcntl (wakeFds[1], F_GETFL) | O_NONBLOCK);

    // Detached: it waits for the whole life of the process, and the process's exit ends it.
    std::thread (watch, std::move (onQuitRequest)).detach();

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
        sigaction (signalNumber, &action, nullptr);
}
} // namespace Ziz::sys
