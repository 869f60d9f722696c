#include "src-cfg/core/history_location.h"

namespace
{
const char* const file_name = "boards.sqlite";

bool is_separator (char c)
{
    return c == '/' || c == '\\';
}

char separator_of (const std::string& path)
{
    // A Windows path names its folders with backslashes; anything else, or nothing, takes the slash.
    const auto back = path.find ('\\');
    const auto slash = path.find ('/');
    return back != std::string::npos && (slash == std::string::npos || back < slash) ? '\\' : '/';
}
} // namespace

std::string default_board_history_file (const std::string& output_directory)
{
    const auto year = output_directory.find ("%Y");
    std::string folder;
    if (year == std::string::npos)
    {
        folder = output_directory;
        if (! folder.empty() && ! is_separator (folder.back()))
            folder += separator_of (output_directory);
        return folder + file_name;
    }
    // The folder whose element holds the %Y ends at the separator before it.
    auto end = year;
    while (end > 0 && ! is_separator (output_directory[end - 1]))
        --end;
    return output_directory.substr (0, end) + file_name;
}
