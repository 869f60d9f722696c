#pragma once

// A child process started from a Windows-style command line, without a shell.
// Win32: CreateProcessA. POSIX: fork and exec, the command line split by the Windows quoting rules
// (Ziz::splitCommandLine).

#include <cstdint>
#include <memory>
#include <string>

namespace Ziz::sys
{
class ChildProcess
{
public:
    enum class Console
    {
        none,       // no console window (CREATE_NO_WINDOW)
        ownWindow   // a console window of its own (CREATE_NEW_CONSOLE)
    };
    // POSIX has no console windows: with either value the child shares the caller's terminal and
    // standard streams.

    struct Options
    {
        std::string workingDirectory;   // empty: the caller's current folder
        Console console = Console::none;
        // The child's console window: its title (none when empty) and its colours (the default ones when 0).
        // Win32 hands both to the child whatever the console setting; they show only in a window of its own.
        std::string consoleTitle;
        std::uint16_t consoleFillAttribute = 0;
        // POSIX: look a program named without a folder up in the working directory before the search path,
        // as Windows looks in the application's folder first. Win32 keeps its own search order.
        bool searchWorkingDirectoryFirst = false;
        // The child ends when this process ends, however it ends: a normal exit, a crash or a hard kill.
        // Win32: the child runs in a job object whose handle only this process holds, set to kill its
        // processes when the handle closes. POSIX (Linux): the child asks for SIGKILL at its parent's death
        // (PR_SET_PDEATHSIG) before it runs the program; the kernel sends it when the thread that started the
        // child ends, so such children are to be started from a thread that lives as long as the process
        // (the message thread does).
        bool endWithParent = false;
    };

    ChildProcess();
    ~ChildProcess();                  // releases the handle; never kills
    ChildProcess (const ChildProcess&) = delete;
    ChildProcess& operator= (const ChildProcess&) = delete;
    ChildProcess (ChildProcess&& other) noexcept;
    ChildProcess& operator= (ChildProcess&& other) noexcept;

    // Starts the program (releasing any process this object held). On failure returns false.
    // lastError() is the operating system's error code read right after the attempt: GetLastError on Win32
    // (cleared before the attempt), errno on POSIX; a missing program is 2 on both.
    //
    // POSIX program lookup: a name with a '/' is taken as given, relative to the working directory;
    // otherwise the working directory (with searchWorkingDirectoryFirst), then each folder of PATH. An unset
    // or empty PATH finds nothing. File descriptors above 2 are not passed on, and the child starts with
    // default signal handling and an empty signal mask.
    bool start (const std::string& commandLine, const Options& options);

    bool isValid() const;              // a process was started and not yet released
    std::uint32_t lastError() const { return error; }
    // The operating system's text for lastError() (FormatMessageA on Win32, strerror on POSIX), without a
    // trailing line break; empty when there is none.
    std::string lastErrorText() const;

    // Asks without waiting whether the process has ended; true too when no process was started.
    bool hasEnded();
    // Waits without a time limit; returns the exit code (POSIX: a signal number + 128 for a child ended by a
    // signal other than through kill()). 0 when no process was started.
    std::uint32_t waitForExit();
    // Ends the process with exit code 0 (TerminateProcess); a process that already ended is no error and keeps
    // its own exit code. POSIX: SIGTERM, then SIGKILL when the child is still there after killGracePeriodMs;
    // the child is reaped before this returns, and one ended by either signal reports exit code 0.
    void kill();
    // Releases the handle (CloseHandle). POSIX: reaps an ended child; a running one keeps running and is
    // reaped in the background when it ends, so it never stays behind as a zombie.
    void release();

    long long processId() const;       // 0 when no process is held

    // Kills at once, without waiting, every child started with endWithParent that may still run. For the
    // crash handlers, on whatever thread failed: POSIX makes no call here that is not async-signal-safe and
    // takes no lock.
    static void killChildrenEndingWithParent() noexcept;

    static constexpr int killGracePeriodMs = 2000;

private:
    // What the operating system knows the child by: child_process_posix.cpp, child_process_win32.cpp.
    struct Impl;
    std::unique_ptr<Impl> impl;
    std::uint32_t error = 0;
};
} // namespace Ziz::sys
