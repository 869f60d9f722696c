#include "src-base/core/ZizException.h"
#include "src-base/core/ZizString.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>

namespace
{
TEST (ZizFormatSize, WordsAndUnits)
{
    const struct
    {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        { 0, "0 bytes" },
        { 1, "1 byte" },
        { 767, "767 bytes" },
        { 768, "0.75 KiB" },
        { 1000, "0.98 KiB" },
        { 1024, "1.00 KiB" },
        { 786432, "0.75 MiB" },
        { 10485761, "10.00 MiB" },
        { std::numeric_limits<std::uint64_t>::max(), "16.00 EiB" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (Ziz::formatSize (c.bytes), c.text) << c.bytes;
}

TEST (ZizFormatAge, WordingAtEveryBoundary)
{
    const std::int64_t now = 1700000000;
    const struct
    {
        std::int64_t offset; // positive: in the past
        const char* text;
    } cases[] = {
        { 0, "0 seconds ago" },
        { 1, "1 second ago" },
        { -1, "in 1 second" },
        { 180, "180 seconds ago" },
        { 181, "3 minutes ago" },
        { 7200, "120 minutes ago" },
        { 7201, "2 hours ago" },
        { 172800, "48 hours ago" },
        { 172801, "2 days ago" },
        { 1209600, "14 days ago" },
        { 1209601, "2 weeks ago" },
        { 5443200, "9 weeks ago" },
        { 5443201, "2 months ago" },
        { 63113832, "24 months ago" },
        { 63113833, "1 years ago" },
        { 63113852, "2 years ago" },
        { -300, "in 5 minutes" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (Ziz::formatAge (now - c.offset, now), c.text) << c.offset;
}

TEST (ZizFormatFixed, RoundsLikeTheCLibraryAndNeverUsesExponents)
{
    EXPECT_EQ (Ziz::formatFixed (12.345, 1), "12.3");
    EXPECT_EQ (Ziz::formatFixed (2, 2), "2.00");
    EXPECT_EQ (Ziz::formatFixed (1e20, 1), "100000000000000000000.0");
    EXPECT_EQ (Ziz::formatFixed (-0.05, 0), "-0");
}

TEST (ZizWhitespace, TrimSimplifySplitLower)
{
    EXPECT_EQ (Ziz::trim (" \t\r\n\v\f "), "");
    EXPECT_EQ (Ziz::trim ("  a b\r\n"), "a b");
    EXPECT_EQ (Ziz::simplifyWhitespace ("\t a  \r\n b \n"), "a b");

    const auto words = Ziz::splitWords ("  <VALUE\tx");
    ASSERT_EQ (words.size(), 2u);
    EXPECT_EQ (words[0], "<VALUE");
    EXPECT_EQ (words[1], "x");
    EXPECT_TRUE (Ziz::splitWords (" \t \r\n").empty());

    EXPECT_EQ (Ziz::toLower ("AbC_Z09\xC4"), "abc_z09\xC4");
}

TEST (ZizReadTextFile, LinesAsTheyWereWritten)
{
    // The files read this way (the OPC output file among them) sit in the user's temporary folder, whose name
    // is the user's: names are UTF-8.
    const std::string dir = vurtest::makeTempDir ("readtext") + "/J\u00f6rg";
    std::filesystem::create_directories (std::filesystem::u8path (dir));
    const struct
    {
        const char* content;
        std::vector<std::string> lines;
    } cases[] = {
        { "a\nb", { "a", "b" } },
        { "a\nb\n", { "a", "b", "" } },
        { "a\r\nb\r\n", { "a", "b", "" } },
        { "", { "" } },
        { "x\r", { "x" } },
    };
    int n = 0;
    for (const auto& c : cases)
    {
        const std::string path = dir + "/f" + std::to_string (n++);
        vurtest::writeFile (path, c.content);
        EXPECT_EQ (Ziz::readTextFile (path, true, true), c.lines) << c.content;
    }
}

TEST (ZizReadTextFile, MissingFileByFlags)
{
    const std::string missing = vurtest::makeTempDir ("missing") + "/nothing.txt";

    try
    {
        Ziz::readTextFile (missing, true, false);
        FAIL() << "no exception";
    }
    catch (const Ziz::Exception& e)
    {
        EXPECT_EQ (std::string (e.what()), "Failed to open " + missing + " for input.");
        EXPECT_EQ (e.functionName, "Ziz::readTextFile");
    }

    try
    {
        Ziz::readTextFile (missing, false, true);
        FAIL() << "no exception";
    }
    catch (const Ziz::Exception& e)
    {
        EXPECT_EQ (std::string (e.what()), "Failed to read " + missing + ".");
    }

    EXPECT_TRUE (Ziz::readTextFile (missing, false, false).empty());
    EXPECT_EQ (Ziz::readFile (missing), "");
}

TEST (ZizReadFile, KeepsEveryByte)
{
    const std::string path = vurtest::makeTempDir ("readfile") + "/bytes \u00e5";
    const std::string bytes ("a\r\n\0\xff", 5);
    vurtest::writeFile (path, bytes);
    EXPECT_EQ (Ziz::readFile (path), bytes);
}
} // namespace
