// The program the child-process tests start. Its arguments are steps, done in order:
//   --report FILE    write the current folder, then every argument from the first on, one per line
//   --ready FILE     create FILE (tells the test that the steps before it are done)
//   --ignore-term    ignore SIGTERM
//   --sleep MS       sleep MS milliseconds
//   --touch FILE     create FILE
//   --exit CODE      end with exit code CODE

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

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
        else if (step == "--exit" && hasValue)
        {
            return std::atoi (argv[++i]);
        }
    }
    return 0;
}
