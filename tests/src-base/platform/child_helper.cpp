// The program the child-process tests start. Its arguments are steps, done in order:
//   --report FILE    write the current folder, then every argument from the first on, one per line
//   --ready FILE     create FILE (tells the test that the steps before it are done)
//   --ignore-term    ignore SIGTERM
//   --sleep MS       sleep MS milliseconds
//   --touch FILE     create FILE
//   --exit CODE      end with exit code CODE
//   --pid FILE       write this process's id and a line break to FILE
//   --report-inherited FILE
//                    (POSIX) write what came from the parent: "fd N" for every open descriptor above 2, then
//                    "SIGTERM ignored" / "SIGTERM handled" unless SIGTERM has its default action, then
//                    "blocked N" for every blocked signal
//   --start-child bound|unbound FILE
//                    start this program again with "--sleep 60000", ending with this process (bound) or not,
//                    and write the child's id and a line break to FILE
//   --hold FILE      open FILE for reading as a viewer or a virus scanner does, without delete sharing on
//                    Windows, and keep it open until the program ends
//   --until FILE     wait until FILE exists (at most a minute)
//   --report-console FILE
//                    (Windows) write what the child got of a console, one "key: value" a line: "window" (yes or
//                    no: a console window of its own), "title" and "attributes" (its screen buffer's colours)
//                    as the console has them, then "startup title" and "startup fill" ("none" when not given)
//                    as the parent handed them to CreateProcess

#include "src-base/platform/child_process.h"
#include "src-base/platform/os_conventions.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
    #include <process.h>
    #include <windows.h>
#else
    #include <dirent.h>
    #include <signal.h>
    #include <unistd.h>
#endif

namespace
{
// Written whole under another name first, so that a reader never sees half a number.
void writeNumber (const std::string& path, long long number)
{
    {
        std::ofstream out (path + ".part", std::ios::binary);
        out << number << '\n';
    }
    std::filesystem::rename (path + ".part", path);
}

long long ownProcessId()
{
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

#ifndef _WIN32
void reportInherited (const std::string& path)
{
    std::string report;
    if (DIR* folder = ::opendir ("/proc/self/fd"))
    {
        const int own = ::dirfd (folder);
        while (const dirent* entry = ::readdir (folder))
        {
            const int fd = std::atoi (entry->d_name);
            if (entry->d_name[0] != '.' && fd > 2 && fd != own)
                report += "fd " + std::to_string (fd) + "\n";
        }
        ::closedir (folder);
    }
    struct sigaction action {};
    ::sigaction (SIGTERM, nullptr, &action);
    if (action.sa_handler == SIG_IGN)
        report += "SIGTERM ignored\n";
    else if (action.sa_handler != SIG_DFL)
        report += "SIGTERM handled\n";
    sigset_t blocked;
    ::sigprocmask (SIG_BLOCK, nullptr, &blocked);
    for (int sig = 1; sig < NSIG; ++sig)
        if (::sigismember (&blocked, sig) == 1)
            report += "blocked " + std::to_string (sig) + "\n";
    std::ofstream (path, std::ios::binary) << report;
}
#endif

#ifdef _WIN32
void reportConsole (const std::string& path)
{
    std::ofstream out (path + ".part", std::ios::binary);
    out << "window: " << (GetConsoleWindow() != nullptr ? "yes" : "no") << '\n';
    char title[512] = {};
    GetConsoleTitleA (title, sizeof (title));
    out << "title: " << title << '\n';
    const HANDLE screen = CreateFileA ("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo (screen, &info))
        out << "attributes: " << info.wAttributes << '\n';
    else
        out << "attributes: none\n";
    if (screen != INVALID_HANDLE_VALUE)
        CloseHandle (screen);
    STARTUPINFOA startup {};
    startup.cb = sizeof (startup);
    GetStartupInfoA (&startup);
    out << "startup title: " << (startup.lpTitle != nullptr ? startup.lpTitle : "none") << '\n';
    out << "startup fill: ";
    if ((startup.dwFlags & STARTF_USEFILLATTRIBUTE) != 0)
        out << startup.dwFillAttribute << '\n';
    else
        out << "none\n";
    out.close();
    std::filesystem::rename (path + ".part", path);
}
#endif

// Started children are kept, never released, until this program ends.
Ziz::sys::ChildProcess child;
} // namespace

int main (int argc, char** argv)
{
#ifdef _WIN32
    std::unique_ptr<void, decltype (&CloseHandle)> held (nullptr, &CloseHandle);
#else
    std::unique_ptr<std::ifstream> held;
#endif
    // The steps as the monitor's programs take them: in UTF-8, whatever the system's code page.
    std::vector<std::string> arguments = Ziz::sys::programArguments (argc, argv);
    arguments.insert (arguments.begin(), argc > 0 ? argv[0] : "");
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back (argument.data());
    argc = static_cast<int> (pointers.size());
    argv = pointers.data();

    for (int i = 1; i < argc; ++i)
    {
        const std::string step = argv[i];
        const bool hasValue = i + 1 < argc;

        if (step == "--report" && hasValue)
        {
            std::ofstream out (std::filesystem::u8path (argv[++i]), std::ios::binary);
            out << std::filesystem::current_path().u8string() << '\n';
            for (int j = 1; j < argc; ++j)
                out << argv[j] << '\n';
        }
        else if ((step == "--ready" || step == "--touch") && hasValue)
        {
            std::ofstream out (std::filesystem::u8path (argv[++i]), std::ios::binary);
        }
        else if (step == "--ignore-term")
        {
            std::signal (SIGTERM, SIG_IGN);
        }
        else if (step == "--sleep" && hasValue)
        {
            std::this_thread::sleep_for (std::chrono::milliseconds (std::atol (argv[++i])));
        }
        else if (step == "--pid" && hasValue)
        {
            writeNumber (argv[++i], ownProcessId());
        }
#ifndef _WIN32
        else if (step == "--report-inherited" && hasValue)
        {
            reportInherited (argv[++i]);
        }
#else
        else if (step == "--report-console" && hasValue)
        {
            reportConsole (argv[++i]);
        }
#endif
        else if (step == "--start-child" && i + 2 < argc)
        {
            Ziz::sys::ChildProcess::Options options;
            options.endWithParent = std::string (argv[++i]) == "bound";
            if (! child.start ("\"" + std::string (argv[0]) + "\" --sleep 60000", options))
                return 3;
            writeNumber (argv[++i], child.processId());
        }
        else if (step == "--hold" && hasValue)
        {
#ifdef _WIN32
            const HANDLE h = CreateFileA (argv[++i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE)
                return 90;
            held.reset (h);
#else
            held = std::make_unique<std::ifstream> (argv[++i], std::ios::binary);
#endif
        }
        else if (step == "--until" && hasValue)
        {
            const std::string file = argv[++i];
            for (int waited = 0; waited < 6000 && ! std::filesystem::exists (file); ++waited)
                std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }
        else if (step == "--exit" && hasValue)
        {
            return std::atoi (argv[++i]);
        }
    }
    return 0;
}
