#include "src-cfg/core/cfg_sort.h"
#include "src-cfg/core/setting_text.h"

#include <gtest/gtest.h>

namespace
{
TEST (SettingText, BooleanReadings)
{
    const struct
    {
        const char* text;
        std::optional<bool> reading;
    } cases[] = {
        { "Yes", true }, { "Y", true }, { "1", true }, { "TRUE", true }, { "t", true },
        { "No", false }, { "n", false }, { "0", false }, { "FALSE", false }, { "F", false },
        { "", std::nullopt }, { " true", std::nullopt }, { "2", std::nullopt }, { "maybe", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ (Ziz::readBoolSetting (c.text), c.reading) << '"' << c.text << '"';
}

TEST (SettingText, IntegerReadingsLikeAtoi)
{
    const struct
    {
        const char* text;
        std::int32_t value;
    } cases[] = {
        { "250ms", 250 }, { " 42", 42 }, { "-5", -5 }, { "+7", 7 }, { "", 0 }, { "abc", 0 }, { "1 2", 1 },
        { "2147483647", 2147483647 }, { "-2147483648", -2147483647 - 1 }, { "99999999999", 2147483647 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (Ziz::readIntSetting (c.text), c.value) << '"' << c.text << '"';
}

TEST (CfgSort, EntriesSortedIgnoringCaseOthersKeepTheirPlace)
{
    const std::vector<std::string> lines = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "",
        "<PROPERTIES>",
        "  <VALUE name=\"b\" val=\"2\"/>",
        "  <VALUE name=\"A\" val=\"1\"/>",
        "  <VALUE name=\"c\" val=\"3\"/>",
        "</PROPERTIES>",
        "",
    };
    const auto sorted = Ziz::sortedConfigLines (lines);
    ASSERT_TRUE (sorted.has_value());
    const std::vector<std::string> expected = {
        lines[0], lines[1], lines[2], "  <VALUE name=\"A\" val=\"1\"/>", "  <VALUE name=\"b\" val=\"2\"/>",
        "  <VALUE name=\"c\" val=\"3\"/>", lines[6], lines[7],
    };
    EXPECT_EQ (*sorted, expected);

    // Already in order: the same lines come back, so the caller leaves the file alone.
    EXPECT_EQ (*Ziz::sortedConfigLines (expected), expected);
}

TEST (CfgSort, MarkersFoundByFirstWordAndMissingMarkersStop)
{
    EXPECT_FALSE (Ziz::sortedConfigLines ({ "<PROPERTIES>", "  <VALUE name=\"b\"/>" }).has_value());
    EXPECT_FALSE (Ziz::sortedConfigLines ({ "<PROPERTIES/>" }).has_value());
    EXPECT_FALSE (Ziz::sortedConfigLines ({}).has_value());

    const auto sorted = Ziz::sortedConfigLines ({ "\t<PROPERTIES>\r", "z", "Y", " </PROPERTIES> " });
    ASSERT_TRUE (sorted.has_value());
    EXPECT_EQ ((*sorted)[1], "Y");
    EXPECT_EQ ((*sorted)[2], "z");
}
TEST (CfgSort, EntriesOverSeveralLinesMoveWhole)
{
    // How the framework writes a long key (its value on a continuation line) and a value that reads as XML
    // (a child element); and what a hand edit may add: markup characters in quotes, a comment, and a value
    // that is itself a PROPERTIES element, whose closing line must not end the entries.
    const std::vector<std::string> lines = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "",
        "<PROPERTIES>",
        "  <VALUE name=\"z_name\">",
        "    <b>Planer</b>",
        "  </VALUE>",
        "  <VALUE name=\"planer_number_one_on_the_infeed_line_interval_ms\"",
        "         val=\"250\"/>",
        "  <VALUE name=\"c_note\" val=\"a > b\"/>",
        "  <VALUE name=\"m_layout\">",
        "    <PROPERTIES>",
        "      <VALUE name=\"inner\" val=\"1\"/>",
        "    </PROPERTIES>",
        "  </VALUE>",
        "  <!-- edited by hand",
        "       <VALUE name=\"old\"/> -->",
        "  <VALUE name=\"A_device\" val=\"com4\"/>",
        "</PROPERTIES>",
        "",
    };
    const std::vector<std::string> expected = {
        lines[0], lines[1], lines[2],
        lines[14], lines[15],                       // "<!--" sorts first
        lines[16],                                  // a_device
        lines[8],                                   // c_note
        lines[9], lines[10], lines[11], lines[12], lines[13], // m_layout
        lines[6], lines[7],                         // planer...
        lines[3], lines[4], lines[5],               // z_name
        lines[17], lines[18],
    };
    const auto sorted = Ziz::sortedConfigLines (lines);
    ASSERT_TRUE (sorted.has_value());
    EXPECT_EQ (*sorted, expected);
    EXPECT_EQ (*Ziz::sortedConfigLines (expected), expected);

    // An entry that never ends leaves no closing marker to find: nothing is sorted.
    EXPECT_FALSE (Ziz::sortedConfigLines ({ "<PROPERTIES>", "  <VALUE name=\"b\">", "  <VALUE name=\"a\" val=\"1\"/>", "</PROPERTIES>" })
                      .has_value());
}
} // namespace
