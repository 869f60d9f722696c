#include "src-cfg/core/setting_text.h"

#include "src-base/core/ZizString.h"

#include <cctype>
#include <limits>

namespace Ziz
{
std::optional<bool> readBoolSetting (const std::string& text)
{
    const std::string lower = toLower (text);
    for (const char* yes : { "true", "yes", "t", "y", "1" })
        if (lower == yes)
            return true;
    for (const char* no : { "false", "no", "f", "n", "0" })
        if (lower == no)
            return false;
    return std::nullopt;
}

std::int32_t readIntSetting (const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace (static_cast<unsigned char> (text[i])) != 0)
        ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    std::int64_t value = 0;
    constexpr std::int64_t limit = static_cast<std::int64_t> (std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            value = limit;
    }

    if (negative)
        return static_cast<std::int32_t> (-value);
    return static_cast<std::int32_t> (value >= limit ? limit - 1 : value);
}
} // namespace Ziz
