#include "src-vur/sort_cfg_file.h"

#include "src-base/core/ZizString.h"
#include "src-base/platform/atomic_file.h"
#include "src-cfg/cfg.h"
#include "src-cfg/core/cfg_sort.h"

void sort_cfg_file (const std::string& fileName)
{
    try
    {
        const auto lines = Ziz::readTextFile (fileName, true, true);
        const auto sorted = Ziz::sortedConfigLines (lines);
        if (! sorted || *sorted == lines)
            return;

        std::string sortedText;
        for (const auto& line : *sorted)
            sortedText += line + "\r\n";

        // The tidying is a courtesy; the settings are not. The sorted text replaces the file only when it
        // loads as exactly the entries that the file loads as now; anything the line sort cannot keep whole
        // leaves the file as the framework wrote it.
        const auto before = read_cfg_entries (Ziz::readFile (fileName));
        if (! before || read_cfg_entries (sortedText) != before)
            return;

        Ziz::sys::writeFileAtomically (fileName, sortedText);
    }
    catch (...)
    {
    }
}
