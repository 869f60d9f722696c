#include "src-base/core/bounded_regex.h"

#include "small_stack.h"

#include <gtest/gtest.h>

#include <string>

// Short texts: the bounded search finds what std::regex_search finds, anchors and word edges included.
TEST (BoundedRegexSearch, FindsWhatAnUnboundedSearchFindsInShortText)
{
    const struct
    {
        const char* pattern;
        std::string text;
        std::size_t from;
        long position;   // -1: no match
        long length;
    } cases[] = {
        { R"(\d+)", "abc 123 45", 0, 4, 3 },
        { R"(\d+)", "abc 123 45", 5, 5, 2 },   // from inside a number: the rest of it
        { R"(^\d+)", "12 34", 0, 0, 2 },
        { R"(^\d+)", "12 34", 3, -1, 0 },      // ^ is the text's start, not the offset's
        { R"(\b34)", "1234 34", 2, 5, 2 },
        { R"(\d+$)", "12 34", 0, 3, 2 },
        // Matches across the edges of the search windows (128 bytes here), and one that runs to the end.
        { R"(ab+c)", std::string (120, 'x') + "abbbbbbbbbbbbbbbbbbbbbbbbbc", 0, 120, 27 },
        { R"(ab+c)", std::string (250, 'x') + "abbbbbbbbbc" + std::string (10, 'x'), 0, 250, 11 },
        { R"(\d+$)", std::string (300, 'x') + "12345", 0, 300, 5 },
        { R"(x$)", std::string (300, 'y') + "x" + std::string (300, 'y'), 0, -1, 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.pattern + std::string (" at ") + std::to_string (c.from));
        const std::regex pattern (c.pattern);
        std::smatch match;
        const bool found = Ziz::boundedRegexSearch (c.text, c.from, pattern, match, 64);
        ASSERT_EQ (found, c.position >= 0);
        if (found)
        {
            EXPECT_EQ (match[0].first - c.text.begin(), c.position);
            EXPECT_EQ (match.length (0), c.length);
        }
    }
}

TEST (BoundedRegexSearch, LongTextNeedsNeitherDeepStackNorSquareTime)
{
    // std::regex_search over this text overflows a 1 MiB stack; found or not, the bounded search does not.
    vurtest::runOnStackOf (vurtest::oneMebibyte, [] {
        const std::regex pattern (R"(\s*(\d+)\s+(\d+)\s*)");
        const std::string text = std::string (200000, ' ') + "12 34\r\n";
        std::smatch match;
        ASSERT_TRUE (Ziz::boundedRegexSearch (text, 0, pattern, match, 64));
        EXPECT_EQ (match.str (2), "34");
    });
}
