#include "src-vur/sort_cfg_file.h"

#include "src-base/core/ZizString.h"
#include "src-base/platform/atomic_file.h"
#include "src-cfg/core/cfg_sort.h"

#include <cstdio>
#include <fstream>

void sort_cfg_file (const std::string& fileName)
{
    try
    {
        const auto lines = Ziz::readTextFile (fileName, true, true);
        const auto sorted = Ziz::sortedConfigLines (lines);
        if (! sorted || *sorted == lines)
            return;

        const auto dot = fileName.find_last_of ('.');
        const auto slash = fileName.find_last_of ("/\\");
        const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        const std::string tempName = (hasExtension ? fileName.substr (0, dot) : fileName) + ".tmp";

        std::remove (tempName.c_str());
        {
            std::ofstream out (tempName, std::ios::out | std::ios::binary | std::ios::trunc);
            for (const auto& line : *sorted)
                out << line << "\r\n";
            out.flush();
            if (! out)
            {
                out.close();
                std::remove (tempName.c_str());
                return;
            }
        }

        // The configuration file is replaced in one step, or left as it was.
        if (! Ziz::sys::replaceFile (tempName, fileName))
            std::remove (tempName.c_str());
    }
    catch (...)
    {
    }
}
