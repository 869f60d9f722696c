#pragma once

// Regular-expression search over text that comes from outside (a meter, a file, a web server), in bounded
// stack and linear time whatever the text's length. The standard library's std::regex_search recurses for
// every character a repeat takes (hundreds of bytes of stack each), so one long run of blanks overflows a
// thread's stack; and a search that finds nothing restarts at every position, which costs the square of the
// text's length. This search looks at windows of twice max_length bytes that overlap by half, so every
// match of at most max_length bytes lies whole in one window; longer matches are not looked for.

#include <cstddef>
#include <regex>
#include <string>

namespace Ziz
{
// The leftmost match that starts at or after offset `from` (the text before it is still seen by ^ and \b)
// and takes at most about max_length bytes. match refers into text.
bool boundedRegexSearch (const std::string& text, std::size_t from, const std::regex& pattern, std::smatch& match,
                         std::size_t max_length);
} // namespace Ziz
