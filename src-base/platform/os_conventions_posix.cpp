#include "src-base/platform/os_conventions.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace Ziz::sys
{
const char* operatingSystemFamily()
{
#if defined(__linux__)
    return "Linux";
#else
    return "POSIX";
#endif
}

std::size_t textLineBreakSize() { return 1; }

std::string programFileName (const std::string& stem) { return stem; }

std::string defaultOpcConsoleApplication() { return "vur-opc-sim"; }

std::string allUsersDataFolder() { return "/var"; }

std::string defaultRecordFolder()
{
    std::string home;
    if (const char* fromEnvironment = std::getenv ("HOME"); fromEnvironment != nullptr && *fromEnvironment != 0)
        home = fromEnvironment;
    else if (const passwd* entry = ::getpwuid (::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        home = entry->pw_dir;
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return (home == "/" ? std::string() : home) + "/22m2k/data/%Y/boardmc/";
}

std::vector<std::string> programArguments (int argc, char** argv)
{
    if (argc < 1)
        return {};
    return { argv + 1, argv + argc };
}

std::tm localTime (std::time_t t)
{
    std::tm local {};
    ::localtime_r (&t, &local);
    return local;
}
} // namespace Ziz::sys
