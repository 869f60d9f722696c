#include "src-vur/core/motd_text.h"

#include <gtest/gtest.h>

namespace
{
std::string lines_of (std::size_t count)
{
    std::string text;
    for (std::size_t i = 1; i <= count; ++i)
        text += "line " + std::to_string (i) + "\n";
    return text;
}

TEST (MotdText, ShortMessagesAreShownWholeLongOnesAreCutVisibly)
{
    const std::string at_limit (max_motd_bytes, 'a');
    // A two-byte character whose second byte would fall just past the limit.
    const std::string straddling = std::string (max_motd_bytes - 1, 'b') + "\xc3\xa5" + "tail";
    const struct
    {
        const char* what;
        std::string reply, shown;
    } cases[] = {
        { "white space around", "  \r\nFresh coffee.\r\n\r\n", "Fresh coffee." },
        { "exactly the byte limit", at_limit, at_limit },
        { "one byte more", at_limit + "a", at_limit + "\n[...]" },
        { "never inside a character", straddling, std::string (max_motd_bytes - 1, 'b') + "\n[...]" },
        { "exactly the line limit", lines_of (max_motd_lines), lines_of (max_motd_lines).substr (0, lines_of (max_motd_lines).size() - 1) },
        { "one line more", lines_of (max_motd_lines + 1), lines_of (max_motd_lines).substr (0, lines_of (max_motd_lines).size() - 1) + "\n[...]" },
        { "a huge page", std::string (50'000'000, 'x'), std::string (max_motd_bytes, 'x') + "\n[...]" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (motd_text (c.reply), c.shown) << c.what;
}
} // namespace
