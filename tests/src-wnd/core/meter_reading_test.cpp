#include "src-wnd/core/meter_reading.h"

#include "small_stack.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace
{
// The pattern every device starts with.
const std::regex defaultPattern (R"(\s*([\d.]{4})\s+([\d.]{4})\s*)", std::regex::ECMAScript);

struct ReadingCase
{
    const char* text;
    double first, average, value;
    bool invalid, board;
    const char* left;
};

const ReadingCase readingCases[] = {
    { "14.8\t14.2\r\n", 14.8, 14.2, 14.2, false, true, "" },
    { "14.2\t00.0\r\n", 14.2, 0.0, 14.2, true, true, "" },
    { "00.0\t00.0\r\n", 0.0, 0.0, 0.0, true, false, "" },
    { "28.0\t00.9\r\n", 28.0, 0.9, 28.0, true, true, "" },
    { "28.0\t01.0\r\n", 28.0, 1.0, 1.0, false, true, "" },
    // Text in front of a reading goes with it; a reading's beginning after it stays.
    { "\x01garbage 14.8 14.2\r\n15.6\t1", 14.8, 14.2, 14.2, false, true, "15.6\t1" },
};
} // namespace

TEST (MeterReading, ReadingsGiveTheBoardValue)
{
    for (const auto& c : readingCases)
    {
        SCOPED_TRACE (c.text);
        std::string pending = c.text;
        MeterReading r;
        ASSERT_TRUE (take_reading (pending, defaultPattern, r));
        EXPECT_DOUBLE_EQ (r.first, c.first);
        EXPECT_DOUBLE_EQ (r.average, c.average);
        EXPECT_DOUBLE_EQ (r.value, c.value);
        EXPECT_EQ (r.invalid_average, c.invalid);
        EXPECT_EQ (r.is_board(), c.board);
        EXPECT_EQ (pending, c.left);
    }
}

TEST (MeterReading, InvalidAverageLineShowsTheTrimmedPendingText)
{
    std::string pending = " \r\n14.2\t00.0\r\n15.6\t1";
    MeterReading r;
    ASSERT_TRUE (take_reading (pending, defaultPattern, r));
    EXPECT_TRUE (r.invalid_average);
    // The whole pending text of that moment, the tab between the readings kept.
    EXPECT_EQ (invalid_average_line ("com4", r), "com4: invalid average value from sensor: str=14.2\t00.0\r\n15.6\t1");

    MeterReading valid;
    std::string more = "14.8\t14.2\r\n";
    ASSERT_TRUE (take_reading (more, defaultPattern, valid));
    EXPECT_TRUE (valid.pending_at_match.empty());
}

TEST (MeterReading, IncompleteOrForeignTextStaysPending)
{
    for (const char* text : { "", "14.8\t14.", "14.8", "hello\r\n", "14.8\t\t" })
    {
        std::string pending = text;
        MeterReading r;
        EXPECT_FALSE (take_reading (pending, defaultPattern, r)) << text;
        EXPECT_EQ (pending, text);
        EXPECT_TRUE (take_readings (pending, defaultPattern).empty());
        EXPECT_EQ (pending, text);
    }
}

TEST (MeterReading, GarbledNumbersAreUnreadableReadingsAndReadingGoesOn)
{
    // A meter with a bad contact: the reading is taken (logged, no board) and the next one still counts.
    const std::regex wide (R"((\S+)\s+(\S+)\s*)");
    struct Case
    {
        const std::regex* pattern;
        const char* text;
        const char* garbled;
    };
    const Case cases[] = {
        { &defaultPattern, "....\t14.2\r\n15.6\t15.0\r\n", "....\t14.2" },
        { &defaultPattern, "14.8\t....\r\n15.6\t15.0\r\n", "14.8\t...." },
        { &defaultPattern, "1..2\t1..2\r\n15.6\t15.0\r\n", "1..2\t1..2" },
        { &wide, "1e999 14.2\n15.6\t15.0\r\n", "1e999 14.2" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        std::string pending = c.text;
        const auto readings = take_readings (pending, *c.pattern);
        ASSERT_EQ (readings.size(), 2u);
        EXPECT_TRUE (readings[0].unreadable);
        EXPECT_FALSE (readings[0].is_board());
        EXPECT_FALSE (readings[0].invalid_average);
        EXPECT_EQ (unreadable_reading_line ("com4", readings[0]), std::string ("com4: unreadable value from sensor: str=") + c.garbled);
        EXPECT_TRUE (readings[1].is_board());
        EXPECT_DOUBLE_EQ (readings[1].value, 15.0);
        EXPECT_EQ (pending, "");
    }
}

TEST (MeterReading, MissingOrEmptyGroupsReadAsZero)
{
    // Group 2 optional: a meter that leaves out the average gives an invalid average, not an error.
    const std::regex optionalAverage (R"((\d+\.\d)(?:/(\d+\.\d))?;)");
    std::string pending = "14.2;";
    MeterReading r;
    ASSERT_TRUE (take_reading (pending, optionalAverage, r));
    EXPECT_DOUBLE_EQ (r.average, 0.0);
    EXPECT_TRUE (r.invalid_average);
    EXPECT_DOUBLE_EQ (r.value, 14.2);

    // A pattern without groups finds readings but no values.
    const std::regex noGroups (R"(\d\d\.\d\s+\d\d\.\d\s*)");
    pending = "14.8\t14.2\r\n";
    ASSERT_TRUE (take_reading (pending, noGroups, r));
    EXPECT_FALSE (r.is_board());
}

TEST (MeterReading, BurstIsTakenWholeInOrder)
{
    // Eight boards and the start of a ninth arrive in one read.
    const char* const rows[] = { "14.8\t14.2\r\n", "15.6\t15.0\r\n", "16.0\t15.1\r\n", "15.4\t14.8\r\n",
                                 "14.2\t13.5\r\n", "16.4\t15.6\r\n", "28.0\t21.2\r\n", "15.3\t14.4\r\n" };
    const double values[] = { 14.2, 15.0, 15.1, 14.8, 13.5, 15.6, 21.2, 14.4 };
    std::string pending;
    for (const char* row : rows)
        pending += row;
    pending += "13.9\t13";

    const auto readings = take_readings (pending, defaultPattern);
    ASSERT_EQ (readings.size(), 8u);
    for (std::size_t i = 0; i < readings.size(); ++i)
        EXPECT_DOUBLE_EQ (readings[i].value, values[i]) << i;
    EXPECT_EQ (pending, "13.9\t13");

    pending += ".1\r\n";
    const auto rest = take_readings (pending, defaultPattern);
    ASSERT_EQ (rest.size(), 1u);
    EXPECT_DOUBLE_EQ (rest[0].value, 13.1);
    EXPECT_EQ (pending, "");
}

TEST (MeterReading, BurstStopsAtTheLimit)
{
    std::string pending = "14.8\t14.2\r\n15.6\t15.0\r\n16.0\t15.1\r\n";
    auto readings = take_readings (pending, defaultPattern, 2);
    ASSERT_EQ (readings.size(), 2u);
    EXPECT_EQ (pending, "16.0\t15.1\r\n");
}

TEST (MeterReading, LongStreamsOfAnyByteAreSearchedOnASmallStack)
{
    // Blanks, line ends or noise from a meter or adapter, a megabyte at a time with a large read length:
    // the search must neither overflow a 1 MiB thread stack nor stop finding the reading that follows.
    const std::size_t length = 200000;
    vurtest::runOnStackOf (vurtest::oneMebibyte, [&] {
        for (const char filler : { ' ', 'x' })
        {
            SCOPED_TRACE (static_cast<int> (filler));
            std::string pending (length, filler);
            pending += "\t14.8\t14.2\r\n";
            const auto readings = take_readings (pending, defaultPattern);
            ASSERT_EQ (readings.size(), 1u);
            EXPECT_DOUBLE_EQ (readings[0].value, 14.2);
        }

        // Line ends arriving a large read buffer at a time, searched as they gather.
        PendingMeterText text;
        const std::string whole = std::string (length, '\n') + "14.8\t14.2\r\n";
        std::vector<MeterReading> found;
        for (std::size_t at = 0; at < whole.size(); at += 1100)
        {
            text.append (whole.substr (at, 1100));
            for (auto& r : text.take_readings (defaultPattern))
                found.push_back (r);
        }
        ASSERT_EQ (found.size(), 1u);
        EXPECT_DOUBLE_EQ (found[0].value, 14.2);
    });
}

TEST (MeterReading, GrowingTextKeepsFindingReadingsThatBeganEarlier)
{
    // A reading split over two passes, after more noise than one search window holds.
    PendingMeterText text;
    text.append (std::string (1000, 'x') + "14.8\t1");
    EXPECT_TRUE (text.take_readings (defaultPattern).empty());
    text.append ("4.2\r\n");
    const auto readings = text.take_readings (defaultPattern);
    ASSERT_EQ (readings.size(), 1u);
    EXPECT_DOUBLE_EQ (readings[0].value, 14.2);
    EXPECT_TRUE (text.empty());

    // After a purge the text starts afresh.
    text.append (std::string (500, 'x'));
    EXPECT_TRUE (text.take_readings (defaultPattern).empty());
    text.clear();
    text.append ("15.6\t15.0\r\n");
    EXPECT_EQ (text.take_readings (defaultPattern).size(), 1u);
}

TEST (MeterReading, PatternMatchingEmptyTextDoesNotLoop)
{
    const std::regex empty ("x*");
    std::string pending = "abc";
    const auto readings = take_readings (pending, empty);
    EXPECT_EQ (readings.size(), 1u);
    EXPECT_EQ (pending, "abc");
}

TEST (MeterReading, PurgeCopyWritesNonPrintingBytesAsSignedNumbers)
{
    EXPECT_EQ (printable_purge_copy ("14.8\t14.2\r\n"), "14.8<9>14.2<13><10>");
    EXPECT_EQ (printable_purge_copy (std::string ("! ~\x7f\x80\xff", 6) + std::string (1, '\0')),
               "!<32>~<127><-128><-1><0>");
    EXPECT_EQ (purge_line ("com4", "ab\n"), "com4: purging long/invalid string: len=3: \"ab<10>\"");
}

TEST (MeterReading, PurgeAfterTenReadBuffers)
{
    struct Case
    {
        std::size_t length;
        int readLen;
        bool purge;
    };
    const Case cases[] = {
        { 110, 11, false }, { 111, 11, true }, { 0, 11, false },
        // A read length below 1 counts as one byte.
        { 10, 0, false }, { 11, 0, true }, { 11, -7, true },
        { 21474836470u, 2147483647, false }, { 21474836471u, 2147483647, true },
    };
    for (const auto& c : cases)
        EXPECT_EQ (needs_purge (c.length, c.readLen), c.purge) << c.length << " " << c.readLen;
}
