// The program the child-process tests start. Its arguments are steps, done in order:
//   --report FILE    write the current folder, then every argument from the first on, one per line
//   --ready FILE     create FILE (tells the test that the steps before it are done)
//   --ignore-term    ignore SIGTERM
//   --sleep MS       sleep MS milliseconds
//   --touch FILE     create FILE
//   --exit CODE      end with exit code CODE
//   --hold FILE      open FILE for reading as a viewer or a virus scanner does, without delete sharing on
//                    Windows, and keep it open until the program ends
//   --until FILE     wait until FILE exists (at most a minute)

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <memory>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

int main (int argc, char** argv)
{
#ifdef _WIN32
    std::unique_ptr<void, decltype (&CloseHandle)> held (nullptr, &CloseHandle);
#else
    std::unique_ptr<std::ifstream> held;
#endif
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
