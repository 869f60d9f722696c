#include "src-base/core/bounded_regex.h"

#include <algorithm>

namespace Ziz
{
namespace
{
namespace rc = std::regex_constants;

// Searches text[start, end) as a part of the whole text: the character before start is seen by ^ and \b,
// and an end that is not the text's own end is no end of line or word.
bool searchWindow (const std::string& text, std::size_t start, std::size_t end, const std::regex& pattern, std::smatch& match)
{
    auto flags = rc::match_default;
    if (start > 0)
        flags |= rc::match_prev_avail;
    if (end < text.size())
        flags |= rc::match_not_eol | rc::match_not_eow;
    return std::regex_search (text.begin() + static_cast<std::ptrdiff_t> (start), text.begin() + static_cast<std::ptrdiff_t> (end),
                              match, pattern, flags);
}
} // namespace

bool boundedRegexSearch (const std::string& text, std::size_t from, const std::regex& pattern, std::smatch& match,
                         std::size_t max_length)
{
    max_length = std::max<std::size_t> (max_length, 1);
    const std::size_t window = 2 * max_length;
    for (std::size_t start = std::min (from, text.size());; start += max_length)
    {
        const std::size_t end = std::min (text.size(), start + window);
        if (searchWindow (text, start, end, pattern, match))
        {
            // A match that runs into the window's end may go on past it: search again from where it begins,
            // with a whole window in front of it.
            const auto begin = static_cast<std::size_t> (match[0].first - text.begin());
            if (end < text.size() && match[0].second == text.begin() + static_cast<std::ptrdiff_t> (end) && begin > start)
                return searchWindow (text, begin, std::min (text.size(), begin + window), pattern, match);
            return true;
        }
        if (end >= text.size())
            return false;
    }
}
} // namespace Ziz
