#include "src-base/platform/child_process.h"

#include "src-base/core/command_line.h"
#include "src-base/platform/system_errors.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace Ziz::sys
{
namespace
{
// The program's path for execve; 0 when found, otherwise the errno value execvp would give.
int findProgram (const std::string& name, const std::string& workingDirectory, bool workingDirectoryFirst,
                 std::string& path)
{
    if (name.empty())
        return ENOENT;

    // Relative paths are taken from the child's point of view: from its working directory.
    auto fromWorkingDirectory = [&workingDirectory] (const std::string& p)
    {
        return p.front() == '/' || workingDirectory.empty() ? p : workingDirectory + "/" + p;
    };

    if (name.find ('/') != std::string::npos)
    {
        path = fromWorkingDirectory (name);
        return 0;
    }

    int failure = ENOENT;
    auto tryFolder = [&] (const std::string& folder)
    {
        const std::string candidate = fromWorkingDirectory (folder + "/" + name);
        struct stat info {};
        if (::stat (candidate.c_str(), &info) != 0 || ! S_ISREG (info.st_mode))
            return false;
        if (::access (candidate.c_str(), X_OK) != 0)
        {
            failure = EACCES;
            return false;
        }
        path = candidate;
        return true;
    };

    if (workingDirectoryFirst && tryFolder ("."))
        return 0;

    // No PATH means no search at all: unlike execvp there is no built-in default list, and an empty entry
    // does not stand for the current folder.
    const char* searchPath = std::getenv ("PATH");
    if (searchPath == nullptr)
        return failure;

    const std::string folders (searchPath);
    std::size_t begin = 0;
    while (begin <= folders.size())
    {
        std::size_t end = folders.find (':', begin);
        if (end == std::string::npos)
            end = folders.size();
        if (end > begin && tryFolder (folders.substr (begin, end - begin)))
            return 0;
        begin = end + 1;
    }
    return failure;
}

// The children started with endWithParent that may still run, for killChildrenEndingWithParent. A slot is
// emptied before its child is reaped, so that a pid the system hands out again is never killed.
constexpr int boundSlots = 64;
std::atomic<int> boundChildren[boundSlots] {};

void bindChild (int pid)
{
    for (auto& slot : boundChildren)
    {
        int expected = 0;
        if (slot.compare_exchange_strong (expected, pid))
            return;
    }
    // More such children than slots: the kernel still ends this one with its parent; only the crash
    // handlers' early kill misses it.
}

void unbindChild (int pid)
{
    for (auto& slot : boundChildren)
    {
        int expected = pid;
        if (slot.compare_exchange_strong (expected, 0))
            return;
    }
}

// Whether the child has ended, leaving it unreaped so that its pid stays ours; with wait, waits for the end.
bool hasExited (int pid, bool wait)
{
    siginfo_t info {};
    const int options = WEXITED | WNOWAIT | (wait ? 0 : WNOHANG);
    int r = 0;
    do
        r = ::waitid (P_PID, static_cast<id_t> (pid), &info, options);
    while (r < 0 && errno == EINTR);
    // Gone already (reaped elsewhere because SIGCHLD is ignored) counts as ended.
    return r < 0 || info.si_pid == pid;
}

void reapInBackground (int pid)
{
    try
    {
        std::thread ([pid]
                     {
                         hasExited (pid, true);
                         unbindChild (pid);
                         int status = 0;
                         while (::waitpid (pid, &status, 0) < 0 && errno == EINTR)
                         {
                         }
                     })
            .detach();
    }
    catch (...)
    {
        // Without a thread the child stays a zombie until this process ends; nothing worse.
    }
}

// In a child that could not run its program: hands the errno value to the parent and ends.
[[noreturn]] void reportAndExit (int reportFd, int errorNumber)
{
    ssize_t written = 0;
    do
        written = ::write (reportFd, &errorNumber, sizeof errorNumber);
    while (written < 0 && errno == EINTR);
    ::_exit (127);
}

// Closes every descriptor from 3 up except keep. (keep is below 3 only when this process runs with a
// standard stream closed; then it is not in the range at all.)
void closeDescriptorsFrom3Except (int keep, int highest)
{
    const bool closed = keep < 3 ? ::close_range (3, ~0U, 0) == 0
                                 : (keep == 3 || ::close_range (3, static_cast<unsigned> (keep - 1), 0) == 0)
                                       && ::close_range (static_cast<unsigned> (keep + 1), ~0U, 0) == 0;
    if (! closed)
        for (int fd = 3; fd <= highest; ++fd)
            if (fd != keep)
                ::close (fd);
}
} // namespace

// The child's state: its pid, unreaped until its status is collected, so that the pid stays ours.
struct ChildProcess::Impl
{
    void recordStatus (int status);
    void reap();                       // the child has ended: collects its status

    int pid = -1;
    bool reaped = false;
    std::uint32_t exitCode = 0;
    int endSignal = 0;                 // the signal that ended the child, 0 when it exited
};

ChildProcess::~ChildProcess() { release(); }

ChildProcess::ChildProcess() : impl (std::make_unique<Impl>()) {}

// The object moved from is left holding this one's empty state.
ChildProcess::ChildProcess (ChildProcess&& other) noexcept : ChildProcess() { *this = std::move (other); }

ChildProcess& ChildProcess::operator= (ChildProcess&& other) noexcept
{
    if (this != &other)
    {
        release();
        std::swap (impl, other.impl);
        error = other.error;
    }
    return *this;
}

bool ChildProcess::start (const std::string& commandLine, const Options& options)
{
    release();
    error = 0;

    const std::vector<std::string> args = splitCommandLine (commandLine);
    if (args.empty())
    {
        error = ENOENT;
        return false;
    }

    std::string workingDirectory = options.workingDirectory;
    if (! workingDirectory.empty())
    {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute (workingDirectory, ec);
        if (! ec)
            workingDirectory = absolute.string();
    }

    std::string program;
    if (const int lookupError = findProgram (args.front(), workingDirectory, options.searchWorkingDirectoryFirst, program))
    {
        error = static_cast<std::uint32_t> (lookupError);
        return false;
    }

    std::vector<char*> argv;
    argv.reserve (args.size() + 1);
    for (const auto& arg : args)
        argv.push_back (const_cast<char*> (arg.c_str()));
    argv.push_back (nullptr);

    // Everything the child needs is made before fork: other threads may have held locks (the allocator's,
    // say) at that moment, so between fork and exec the child makes only async-signal-safe calls. A pipe
    // that a successful exec closes carries the errno of a failed one back.
    int report[2];
    if (::pipe2 (report, O_CLOEXEC) != 0)
    {
        error = static_cast<std::uint32_t> (errno);
        return false;
    }
    const long openMax = ::sysconf (_SC_OPEN_MAX);
    const int highestDescriptor = openMax > 0 && openMax <= 65536 ? static_cast<int> (openMax) - 1 : 65535;
    const pid_t parent = ::getpid();
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigset_t noSignals;
    sigemptyset (&noSignals);

    const pid_t child = ::fork();
    if (child == 0)
    {
        if (options.endWithParent)
        {
            ::prctl (PR_SET_PDEATHSIG, SIGKILL);
            // A parent that died before the request was made sends no signal any more.
            if (::getppid() != parent)
                ::_exit (127);
        }
        // Like CreateProcess without handle inheritance: only the standard streams are passed on.
        closeDescriptorsFrom3Except (report[1], highestDescriptor);
        for (int sig = 1; sig < NSIG; ++sig)
            ::sigaction (sig, &defaultAction, nullptr);
        ::sigprocmask (SIG_SETMASK, &noSignals, nullptr);
        if (! workingDirectory.empty() && ::chdir (workingDirectory.c_str()) != 0)
            reportAndExit (report[1], errno);
        ::execve (program.c_str(), argv.data(), environ);
        reportAndExit (report[1], errno);
    }

    const int forkError = errno;
    ::close (report[1]);
    if (child < 0)
    {
        ::close (report[0]);
        error = static_cast<std::uint32_t> (forkError);
        return false;
    }

    int execError = 0;
    ssize_t got = 0;
    do
        got = ::read (report[0], &execError, sizeof execError);
    while (got < 0 && errno == EINTR);
    ::close (report[0]);
    if (got == static_cast<ssize_t> (sizeof execError))
    {
        int status = 0;
        while (::waitpid (child, &status, 0) < 0 && errno == EINTR)
        {
        }
        error = static_cast<std::uint32_t> (execError);
        return false;
    }

    if (options.endWithParent)
        bindChild (child);

    impl->pid = child;
    impl->reaped = false;
    impl->exitCode = 0;
    impl->endSignal = 0;
    return true;
}

bool ChildProcess::isValid() const { return impl->pid > 0; }

std::string ChildProcess::lastErrorText() const
{
    return error != 0 ? errnoDescription (static_cast<int> (error)) : std::string();
}

void ChildProcess::Impl::recordStatus (int status)
{
    reaped = true;
    if (WIFEXITED (status))
    {
        exitCode = static_cast<std::uint32_t> (WEXITSTATUS (status));
        endSignal = 0;
    }
    else if (WIFSIGNALED (status))
    {
        endSignal = WTERMSIG (status);
        exitCode = static_cast<std::uint32_t> (128 + endSignal);
    }
}

bool ChildProcess::hasEnded()
{
    if (impl->pid <= 0 || impl->reaped)
        return true;
    if (! hasExited (impl->pid, false))
        return false;
    impl->reap();
    return true;
}

std::uint32_t ChildProcess::waitForExit()
{
    if (impl->pid <= 0)
        return 0;

    if (! impl->reaped)
    {
        hasExited (impl->pid, true);
        impl->reap();
    }
    return impl->exitCode;
}

void ChildProcess::Impl::reap()
{
    unbindChild (pid);
    int status = 0;
    pid_t r = 0;
    do
        r = ::waitpid (pid, &status, 0);
    while (r < 0 && errno == EINTR);

    if (r == pid)
        recordStatus (status);
    else
        reaped = true; // reaped elsewhere (SIGCHLD ignored): it is gone all the same
}

void ChildProcess::kill()
{
    if (hasEnded())
        return;

    // Unreaped, the pid cannot have been reused, so the signals reach our own child.
    ::kill (impl->pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (killGracePeriodMs);
    while (! hasEnded() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for (std::chrono::milliseconds (10));

    if (! impl->reaped)
    {
        ::kill (impl->pid, SIGKILL);
        waitForExit();
    }

    if (impl->endSignal == SIGTERM || impl->endSignal == SIGKILL)
        impl->exitCode = 0;
}

void ChildProcess::release()
{
    if (impl->pid > 0 && ! hasEnded())
        reapInBackground (impl->pid);

    impl->pid = -1;
    impl->reaped = false;
    impl->exitCode = 0;
    impl->endSignal = 0;
}

long long ChildProcess::processId() const { return impl->pid > 0 ? impl->pid : 0; }

void ChildProcess::killChildrenEndingWithParent() noexcept
{
    for (auto& slot : boundChildren)
        if (const int child = slot.load(); child > 0)
            ::kill (child, SIGKILL);
}
} // namespace Ziz::sys
