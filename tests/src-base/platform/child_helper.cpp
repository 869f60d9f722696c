// The program the child-process tests start. Its arguments are steps, done in order:
//   --report FILE    write the current folder, then every argument from the first on, one per line
//   --ready FILE     create FILE (tells the test that the steps before it are done)
//   --ignore-term    ignore SIGTERM
//   --sleep MS       sleep MS milliseconds
//   --touch FILE     create FILE
//   --exit CODE      end with exit code CODE
//   --pid FILE       write this process's id and a line break to FILE
//   --start-child bound|unbound FILE
//                    start this program again with "--sleep 60000", ending with this process (bound) or not,
//                    and write the child's id and a line break to FILE

#include "src-base/platform/child_process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
    #include <process.h>
#else
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

// Started children are kept, never released, until this program ends.
Ziz::sys::ChildProcess child;
} // namespace

int main (int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string step = argv[i];
        const bool hasValue = i + 1 < argc;

        if (step == "--report" && hasValue)
        {
            std::ofstream out (argv[++i], std::ios::binary);
            out << std::filesystem::current_path().string() << '\n';
            for (int j = 1; j < argc; ++j)
                out << argv[j] << '\n';
        }
        else if ((step == "--ready" || step == "--touch") && hasValue)
        {
            std::ofstream out (argv[++i], std::ios::binary);
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
        else if (step == "--start-child" && i + 2 < argc)
        {
            Ziz::sys::ChildProcess::Options options;
            options.endWithParent = std::string (argv[++i]) == "bound";
            if (! child.start ("\"" + std::string (argv[0]) + "\" --sleep 60000", options))
                return 3;
            writeNumber (argv[++i], child.processId());
        }
        else if (step == "--exit" && hasValue)
        {
            return std::atoi (argv[++i]);
        }
    }
    return 0;
}
