#include "src-base/platform/child_process.h"

#include "src-base/core/command_line.h"
#include "src-base/platform/system_errors.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
// The program's path for posix_spawn; 0 when found, otherwise the errno value execvp would give.
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

void reapInBackground (int pid)
{
    try
    {
        std::thread ([pid]
                     {
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

struct SpawnSettings
{
    posix_spawn_file_actions_t actions {};
    posix_spawnattr_t attributes {};

    SpawnSettings()
    {
        posix_spawn_file_actions_init (&actions);
        posix_spawnattr_init (&attributes);
    }

    ~SpawnSettings()
    {
        posix_spawnattr_destroy (&attributes);
        posix_spawn_file_actions_destroy (&actions);
    }

    SpawnSettings (const SpawnSettings&) = delete;
    SpawnSettings& operator= (const SpawnSettings&) = delete;
};
} // namespace

ChildProcess::~ChildProcess() { release(); }

ChildProcess::ChildProcess (ChildProcess&& other) noexcept
    : error (other.error), pid (std::exchange (other.pid, -1)), reaped (other.reaped), exitCode (other.exitCode),
      endSignal (other.endSignal)
{
}

ChildProcess& ChildProcess::operator= (ChildProcess&& other) noexcept
{
    if (this != &other)
    {
        release();
        error = other.error;
        pid = std::exchange (other.pid, -1);
        reaped = other.reaped;
        exitCode = other.exitCode;
        endSignal = other.endSignal;
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

    SpawnSettings settings;
    if (! workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np (&settings.actions, workingDirectory.c_str());
    // Like CreateProcess without handle inheritance: only the standard streams are passed on.
    posix_spawn_file_actions_addclosefrom_np (&settings.actions, 3);

    sigset_t noSignals;
    sigemptyset (&noSignals);
    sigset_t allSignals;
    sigfillset (&allSignals);
    posix_spawnattr_setsigmask (&settings.attributes, &noSignals);
    posix_spawnattr_setsigdefault (&settings.attributes, &allSignals);
    posix_spawnattr_setflags (&settings.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.reserve (args.size() + 1);
    for (const auto& arg : args)
        argv.push_back (const_cast<char*> (arg.c_str()));
    argv.push_back (nullptr);

    pid_t child = -1;
    const int rc = ::posix_spawn (&child, program.c_str(), &settings.actions, &settings.attributes, argv.data(), environ);
    if (rc != 0)
    {
        error = static_cast<std::uint32_t> (rc);
        return false;
    }

    pid = child;
    reaped = false;
    exitCode = 0;
    endSignal = 0;
    return true;
}

bool ChildProcess::isValid() const { return pid > 0; }

std::string ChildProcess::lastErrorText() const
{
    return error != 0 ? errnoDescription (static_cast<int> (error)) : std::string();
}

void ChildProcess::recordStatus (int status)
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
    if (pid <= 0 || reaped)
        return true;

    int status = 0;
    pid_t r = 0;
    do
        r = ::waitpid (pid, &status, WNOHANG);
    while (r < 0 && errno == EINTR);

    if (r == 0)
        return false;
    if (r == pid)
        recordStatus (status);
    else
        reaped = true; // reaped elsewhere (SIGCHLD ignored): it is gone all the same
    return true;
}

std::uint32_t ChildProcess::waitForExit()
{
    if (pid <= 0)
        return 0;

    if (! reaped)
    {
        int status = 0;
        pid_t r = 0;
        do
            r = ::waitpid (pid, &status, 0);
        while (r < 0 && errno == EINTR);

        if (r == pid)
            recordStatus (status);
        else
            reaped = true;
    }
    return exitCode;
}

void ChildProcess::kill()
{
    if (hasEnded())
        return;

    // Unreaped, the pid cannot have been reused, so the signals reach our own child.
    ::kill (pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (killGracePeriodMs);
    while (! hasEnded() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for (std::chrono::milliseconds (10));

    if (! reaped)
    {
        ::kill (pid, SIGKILL);
        waitForExit();
    }

    if (endSignal == SIGTERM || endSignal == SIGKILL)
        exitCode = 0;
}

void ChildProcess::release()
{
    if (pid > 0 && ! hasEnded())
        reapInBackground (pid);

    pid = -1;
    reaped = false;
    exitCode = 0;
    endSignal = 0;
}

long long ChildProcess::processId() const { return pid > 0 ? pid : 0; }
} // namespace Ziz::sys
