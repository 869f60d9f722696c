#include "src-base/core/command_line.h"

namespace Ziz
{
namespace
{
bool isBlank (char c) { return c == ' ' || c == '\t'; }
} // namespace

std::vector<std::string> splitCommandLine (const std::string& commandLine)
{
    std::vector<std::string> args;
    if (commandLine.find_first_not_of (" \t") == std::string::npos)
        return args;

    const std::size_t end = commandLine.size();
    std::size_t i = 0;

    // The program name.
    {
        std::string name;
        bool quoted = false;
        for (; i < end && (quoted || ! isBlank (commandLine[i])); ++i)
        {
            if (commandLine[i] == '"')
                quoted = ! quoted;
            else
                name += commandLine[i];
        }
        args.push_back (name);
    }

    for (;;)
    {
        while (i < end && isBlank (commandLine[i]))
            ++i;
        if (i >= end)
            break;

        std::string arg;
        bool quoted = false;
        while (i < end)
        {
            std::size_t backslashes = 0;
            while (i < end && commandLine[i] == '\\')
            {
                ++backslashes;
                ++i;
            }

            if (i < end && commandLine[i] == '"')
            {
                arg.append (backslashes / 2, '\\');
                if (backslashes % 2 == 1)
                {
                    arg += '"';
                }
                else if (quoted && i + 1 < end && commandLine[i + 1] == '"')
                {
                    arg += '"';
                    ++i;
                }
                else
                {
                    quoted = ! quoted;
                }
                ++i;
                continue;
            }

            arg.append (backslashes, '\\');
            if (i >= end || (! quoted && isBlank (commandLine[i])))
                break;
            arg += commandLine[i];
            ++i;
        }
        args.push_back (arg);
    }
    return args;
}

std::string quoteArgument (const std::string& text)
{
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : text)
    {
        if (c == '\\')
        {
            ++backslashes;
            continue;
        }
        if (c == '"')
            quoted.append (2 * backslashes + 1, '\\');
        else
            quoted.append (backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // A backslash run at the end stands in front of the closing quote.
    quoted.append (2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}
} // namespace Ziz
