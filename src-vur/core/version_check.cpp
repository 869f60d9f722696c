#include "src-vur/core/version_check.h"

#include <algorithm>

namespace
{
bool is_version_char (char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '.';
}
} // namespace

ListedVersion find_listed_version (const std::string& listing)
{
    // The link is href="vur-([0-9-.]+)-win. A version may itself hold '-', but 'w' is not a version
    // character, so after each link opening there is at most one way to match: the whole run of version
    // characters must end in the '-' of "-win". Link openings cannot overlap and no run reaches into the
    // next opening, so one pass over the listing finds the first match. (A backtracking regular
    // expression here recursed once per character and overflowed the stack on a long run.)
    static const std::string opening = "href=\"vur-";
    static const std::string closing = "win";

    for (std::size_t at = listing.find (opening); at != std::string::npos; at = listing.find (opening, at))
    {
        const std::size_t begin = at + opening.size();
        std::size_t end = begin;
        while (end < listing.size() && is_version_char (listing[end]))
            ++end;
        at = end;

        // The run needs at least one version character before its closing '-'.
        if (end - begin < 2 || listing[end - 1] != '-' || listing.compare (end, closing.size(), closing) != 0)
            continue;

        const std::size_t length = end - 1 - begin;
        if (length > max_version_length)
            return { {}, length };
        return { listing.substr (begin, length), 0 };
    }
    return {};
}

std::string find_most_recent_version (const std::string& listing)
{
    return find_listed_version (listing).version;
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
