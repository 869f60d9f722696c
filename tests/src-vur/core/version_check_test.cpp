#include "src-vur/core/version_check.h"

#include "small_stack.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
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

// The pattern the listing search must agree with, on inputs short enough for a backtracking matcher.
std::string referenceVersion (const std::string& listing)
{
    static const std::regex pattern (R"(href="vur-([0-9-.]+)-win)", std::regex::ECMAScript);
    std::smatch match;
    return std::regex_search (listing, match, pattern) ? match[1].str() : std::string();
}

TEST (VersionCheck, AgreesWithTheLinkPatternOnMixedUpListings)
{
    // Pieces that make and break links: openings, closings, version characters, near misses.
    const std::string pieces[] = { "href=\"vur-", "-win", "win", "-", ".", "7", "12", "w", "\"", "x", "href=\"vur", "-wi", " " };
    std::mt19937 random (2718);
    std::uniform_int_distribution<std::size_t> pick (0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count (0, 24);
    for (int round = 0; round < 5000; ++round)
    {
        std::string listing;
        for (int n = count (random); n > 0; --n)
            listing += pieces[pick (random)];
        ASSERT_EQ (find_most_recent_version (listing), referenceVersion (listing)) << listing;
    }
}

TEST (VersionCheck, SearchesAHugeListingOnAWorkerSizedStack)
{
    const std::string run (200000, '1');
    const std::string good = "<a href=\"vur-1.0.0-2719-win64.zip\">";
    struct Case
    {
        const char* what;
        std::string listing;
        std::string version;
        std::size_t overlong;
    };
    const Case cases[] = {
        { "an overlong version is no version", "<a href=\"vur-" + run + "-win64.zip\">" + good, "", run.size() },
        { "an overlong run that is no link is passed over", "<a href=\"vur-" + run + "\">" + good, "1.0.0-2719", 0 },
        { "a run of dashes", "<a href=\"vur-" + std::string (200000, '-') + "win\">", "", 199999 },
        { "the longest real version", "<a href=\"vur-" + std::string (max_version_length, '9') + "-win\">",
          std::string (max_version_length, '9'), 0 },
        { "one character more", "<a href=\"vur-" + std::string (max_version_length + 1, '9') + "-win\">", "",
          max_version_length + 1 },
    };

    // The load thread's stack is of this order; a search that recurses per character overflows it.
    vurtest::runOnStackOf (vurtest::oneMebibyte, [&] {
        for (const auto& c : cases)
        {
            const ListedVersion found = find_listed_version (c.listing);
            EXPECT_EQ (found.version, c.version) << c.what;
            EXPECT_EQ (found.overlong_length, c.overlong) << c.what;
        }
    });
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
