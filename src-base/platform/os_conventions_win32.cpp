#include "src-base/platform/os_conventions.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>
#include <shlobj.h>

namespace Ziz::sys
{
const char* operatingSystemFamily() { return "Windows"; }

std::size_t textLineBreakSize() { return 2; }

std::string programFileName (const std::string& stem) { return stem + ".exe"; }

std::string defaultOpcConsoleApplication() { return "OPCConsole.exe"; }

std::string allUsersDataFolder()
{
    char path[MAX_PATH] = {};
    if (SHGetFolderPathA (nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK)
        return path;
    return "C:\\ProgramData";
}

std::string defaultRecordFolder() { return "C:\\22m2k\\data\\%Y\\boardmc\\"; }

std::tm localTime (std::time_t t)
{
    std::tm local {};
    localtime_s (&local, &t);
    return local;
}
} // namespace Ziz::sys
