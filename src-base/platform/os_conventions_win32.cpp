#include "src-base/platform/os_conventions.h"

#include "src-base/platform/win32_text.h"

#include <shellapi.h>
#include <shlobj.h>

namespace Ziz::sys
{
const char* operatingSystemFamily() { return "Windows"; }

std::size_t textLineBreakSize() { return 2; }

std::string programFileName (const std::string& stem) { return stem + ".exe"; }

std::string defaultOpcConsoleApplication() { return "OPCConsole.exe"; }

std::string allUsersDataFolder()
{
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW (nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK)
        return win32::utf8FromWide (path);
    return "C:\\ProgramData";
}

std::string defaultRecordFolder() { return "C:\\22m2k\\data\\%Y\\boardmc\\"; }

std::vector<std::string> programArguments (int argc, char** argv)
{
    // argv holds the arguments in the code page; the wide command line holds them as they were typed.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW (GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide == nullptr || count != argc)
    {
        for (int i = 1; i < argc; ++i)
            arguments.push_back (win32::utf8FromAnsi (argv[i]));
    }
    else
    {
        for (int i = 1; i < count; ++i)
            arguments.push_back (win32::utf8FromWide (wide[i]));
    }
    if (wide != nullptr)
        LocalFree (wide);
    return arguments;
}

std::tm localTime (std::time_t t)
{
    std::tm local {};
    localtime_s (&local, &t);
    return local;
}
} // namespace Ziz::sys
