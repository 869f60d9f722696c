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
} // namespace
