#include "src-vur/core/version_check.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string listingLink (const std::string& file)
{
    return "<tr><td><a href=\"" + file + "\">" + file + "</a></td><td>2024-05-01 10:00</td></tr>\n";
}

TEST (VersionCheck, TakesTheFirstWindowsDownloadOfTheListing)
{
    const std::string listing = "<html><body><table>\n" + listingLink ("?C=N;O=A") + listingLink ("motd.txt")
                              + listingLink ("vur-1.0.0-2719-linux.tar.gz") + listingLink ("vur-1.0.0-2719-win64.zip")
                              + listingLink ("vur-1.0.0-2718-win64.zip") + "</table></body></html>\n";
    EXPECT_EQ (find_most_recent_version (listing), "1.0.0-2719");

    EXPECT_EQ (find_most_recent_version ("<a href=\"vur-2.1.0-win.exe\">"), "2.1.0");
    EXPECT_EQ (find_most_recent_version ("<a href=\"vur-1.0.0-2718.1-win.exe\">"), "1.0.0-2718.1");

    // Not a version: the link must open with a quote, and the version needs at least one character.
    EXPECT_EQ (find_most_recent_version ("<a href=vur-1.0.0-2719-win.zip>"), "");
    EXPECT_EQ (find_most_recent_version ("<a href=\"vur--win.zip\">"), "");
    EXPECT_EQ (find_most_recent_version ("<a href=\"vur---win.zip\">"), "-");
    EXPECT_EQ (find_most_recent_version ("<a href=\"vur-1.0.0_2719-win.zip\">"), "");
    EXPECT_EQ (find_most_recent_version ("<html>404 Not Found</html>"), "");
    EXPECT_EQ (find_most_recent_version (""), "");
}

TEST (VersionCheck, ComparesByteByByte)
{
    struct Case
    {
        const char* candidate;
        bool newer;
    };
    const Case cases[] = {
        { "1.0.0-2719", true },
        { "1.0.0-2718", false },
        { "1.0.0-2718.1", true },
        { "1.0.0-999", true },
        { "0.9.9-3000", false },
        { "1.0.0-271", false },
        { "1.0.0-27180", true },
        { "1.0.1", true },
        { "", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ (is_newer_version (c.candidate, application_version), c.newer) << c.candidate;

    EXPECT_FALSE (is_newer_version ("", ""));
    EXPECT_TRUE (is_newer_version ("1.\xe9", "1.9")) << "bytes compare unsigned";
}
} // namespace
