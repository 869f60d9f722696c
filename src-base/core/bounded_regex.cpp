#include "src-base/core/bounded_regex.h"

#include <algorithm>

namespace Ziz
{
namespace
{
namespace rc = std::regex_constants;

// A match that begins at start and ends by end, with text[start, end) seen as a part of the whole text: the
// character before start is seen by ^ and \b, and an end that is not the text's own end is no end of line
// or word.
bool matchAt (const std::string& text, std::size_t start, std::size_t end, const std::regex& pattern, std::smatch& match)
{
    auto flags = rc::match_continuous;
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
    // Each start is tried once, anchored there, over the stretch a match from there may take: the cost is
    // max_length steps a byte at most, and the leftmost start that matches wins, as in an unbounded search.
    for (std::size_t start = std::min (from, text.size()); start <= text.size(); ++start)
    {
        const std::size_t end = std::min (text.size(), start + max_length);
        if (! matchAt (text, start, end, pattern, match))
            continue;
        // A match that runs into the stretch's end may go on past it: look again with twice the room.
        if (end < text.size() && match[0].second == text.begin() + static_cast<std::ptrdiff_t> (end))
            return matchAt (text, start, std::min (text.size(), start + 2 * max_length), pattern, match);
        return true;
    }
    return false;
}
} // namespace Ziz
