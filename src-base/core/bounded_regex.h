#pragma once

// Regular-expression search over text that comes from outside (a meter, a file, a web server), in bounded
// stack and linear time whatever the text's length. The standard library's std::regex_search recurses for
// every character a repeat takes (hundreds of bytes of stack each), so one long run of blanks overflows a
// thread's stack; and a search that finds nothing restarts at every position, which costs the square of the
// text's length. This search tries each start once, anchored there, over the max_length bytes that follow
// it (twice that when a match runs to the end of them): matches longer than that are not looked for, and
// the cost is at most about max_length steps a byte.

#include <cstddef>
#include <regex>
#include <string>

namespace Ziz
{
// The leftmost match that starts at or after offset `from` (the text before it is still seen by ^ and \b)
// and takes at most about max_length bytes, as the unbounded search would find it. match refers into text.
bool boundedRegexSearch (const std::string& text, std::size_t from, const std::regex& pattern, std::smatch& match,
                         std::size_t max_length);
} // namespace Ziz
