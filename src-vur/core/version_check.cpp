#include "src-vur/core/version_check.h"

#include <regex>

std::string find_most_recent_version (const std::string& listing)
{
    static const std::regex pattern (R"(href="vur-([0-9-.]+)-win)", std::regex::ECMAScript);

    std::smatch match;
    if (! std::regex_search (listing, match, pattern))
        return {};
    return match[1].str();
}

bool is_newer_version (const std::string& candidate, const std::string& current)
{
    const std::size_t common = std::min (candidate.size(), current.size());
    for (std::size_t i = 0; i < common; ++i)
    {
        const auto a = static_cast<unsigned char> (candidate[i]);
        const auto b = static_cast<unsigned char> (current[i]);
        if (a != b)
            return a > b;
    }
    return candidate.size() > current.size();
}
