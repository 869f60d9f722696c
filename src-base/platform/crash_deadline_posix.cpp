#include "src-base/platform/crash_deadline.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace
{
volatile std::sig_atomic_t deadline_status = 1;

void end_at_deadline (int)
{
    _exit (deadline_status);
}
} // namespace

namespace Ziz::sys
{
void prepareCrashDeadline()
{
    // The alarm needs nothing made in advance.
}

void startCrashDeadline (unsigned seconds, int status)
{
    deadline_status = status;
    struct sigaction action {};
    action.sa_handler = end_at_deadline;
    sigemptyset (&action.sa_mask);
    sigaction (SIGALRM, &action, nullptr);
    // The crash handler may run with the alarm blocked on its thread; any thread that takes it ends the process.
    sigset_t alarm_only;
    sigemptyset (&alarm_only);
    sigaddset (&alarm_only, SIGALRM);
    pthread_sigmask (SIG_UNBLOCK, &alarm_only, nullptr);
    alarm (seconds);
}
} // namespace Ziz::sys
