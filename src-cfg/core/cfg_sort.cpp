#include "src-cfg/core/cfg_sort.h"

#include "src-base/core/ZizString.h"

#include <algorithm>

namespace Ziz
{
namespace
{
bool firstWordIs (const std::string& line, const char* word)
{
    const auto words = splitWords (line);
    return ! words.empty() && words.front() == word;
}
} // namespace

std::optional<std::vector<std::string>> sortedConfigLines (const std::vector<std::string>& lines)
{
    std::size_t open = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (firstWordIs (lines[i], "<PROPERTIES>"))
        {
            open = i;
            break;
        }
    if (open == lines.size())
        return std::nullopt;

    std::size_t close = lines.size();
    for (std::size_t i = open + 1; i < lines.size(); ++i)
        if (firstWordIs (lines[i], "</PROPERTIES>"))
        {
            close = i;
            break;
        }
    if (close == lines.size())
        return std::nullopt;

    std::vector<std::string> sorted (lines);
    std::stable_sort (sorted.begin() + static_cast<std::ptrdiff_t> (open + 1), sorted.begin() + static_cast<std::ptrdiff_t> (close),
                      [] (const std::string& a, const std::string& b) { return toLower (a) < toLower (b); });
    return sorted;
}
} // namespace Ziz
