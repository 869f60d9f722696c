#include "src-wnd/core/record_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

namespace
{
BoardBucket bucket_of (std::initializer_list<double> values)
{
    BoardBucket bucket;
    for (const double v : values)
        bucket.add (v);
    bucket.recompute_average();
    bucket.update_deviation();
    return bucket;
}

std::string zeros_fields (int count, const std::string& field)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += field + ",";
    return out;
}
} // namespace

TEST (RecordFormat, NumberTextPadded)
{
    const std::pair<int, const char*> cases[] = {
        { 0, "000" }, { 3, "003" }, { 12, "012" }, { 999, "999" }, { 1234, "1234" },
        { -5, "0-5" }, { -12, "-12" }, { -1234, "-1234" },
    };
    for (const auto& [number, text] : cases)
        EXPECT_EQ (number_text_padded (number), text) << number;
}

TEST (RecordFormat, FileNames)
{
    EXPECT_EQ (package_file_name ("7", "012", "003"), "7_012003.mc");
    EXPECT_EQ (summary_file_name ("7", "012"), "7_012000.mc");
    EXPECT_EQ (record_file_name (7, 12, 3), "7_012003.mc");
    EXPECT_EQ (record_file_name (7, -5, 1234), "7_0-51234.mc");

    // Before any number is in force the texts are empty.
    EXPECT_EQ (package_file_name ("", "", ""), "_.mc");
    EXPECT_EQ (summary_file_name ("", ""), "_000.mc");

    // Package 0 lands on the summary's name.
    EXPECT_EQ (package_file_name ("7", "012", number_text_padded (0)), summary_file_name ("7", "012"));
}

TEST (RecordFormat, RecordDirectoryReplacesOnlyTheFirstYear)
{
    EXPECT_EQ (record_directory ("C:\\mc\\%Y\\data%Y", 2024), "C:\\mc\\2024\\data%Y");
    EXPECT_EQ (record_directory ("/srv/mc", 2024), "/srv/mc");
    EXPECT_EQ (record_directory ("/srv/%Y", 987), "/srv/0987");
    EXPECT_EQ (record_directory ("%y%Y", 2024), "%y2024");
}

TEST (RecordFormat, PackageAndSummaryOfTwoBoardsByteForByte)
{
    const BoardBucket bucket = bucket_of ({ 14.2, 9.5 });

    EXPECT_EQ (package_file_text (bucket),
               "0002,0000,0001,0000,0000,0000,0000,0001,0000,0000,0000,0000,0000,0000,0000,0000,0000,0000,"
               "000,000,3.323402,11.850000,000\r\n"
               "14.2,09.5,.\r\n");
    EXPECT_EQ (summary_file_text (bucket),
               "2,0,1,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,000,000,3.323402,11.850000,0.0,0.0\r\n");
}

TEST (RecordFormat, ValuesArePaddedToFourCharactersNeverCut)
{
    const BoardBucket bucket = bucket_of ({ 0.5, 9.5, 14.2, 9.96, 123.45 });
    const std::string text = package_file_text (bucket);
    const std::string line2 = text.substr (text.find ("\r\n") + 2);
    EXPECT_EQ (line2, "00.5,09.5,14.2,10.0,123.5,.\r\n");
}

TEST (RecordFormat, OneDecimalAgreesWithPrintf)
{
    std::vector<double> values = { 0.0, 0.05, 0.15, 0.25, 0.35, 0.45, 2.5, 9.95, 9.949999999, 14.2, 99.95, 1e22, 1.7e308,
                                   -0.04, -0.5, -9.5, -123.45, std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::denorm_min() };
    for (int i = 0; i < 30000; ++i)
    {
        values.push_back (i * 0.00731);
        values.push_back (i * 0.05);       // halves, and values a rounding away from them
        values.push_back (-i * 1234.5678);
    }
    char expected[400];
    for (const double v : values)
        for (const std::size_t width : { 0, 4, 7 })
        {
            std::snprintf (expected, sizeof expected, "%0*.1f", static_cast<int> (width), v);
            std::string out = "x";
            append_one_decimal (out, v, width);
            ASSERT_EQ (out, std::string ("x") + expected) << v << " width " << width;
        }
}

TEST (RecordFormat, LargePackageCountWidensBeyondFourDigits)
{
    BoardBucket bucket;
    for (int i = 0; i < 10000; ++i)
        bucket.add (12.0);
    bucket.add (30.0);
    bucket.recompute_average();

    const std::string text = package_file_text (bucket);
    EXPECT_EQ (text.substr (0, 6), "10001,");
    EXPECT_NE (text.find (",10000,"), std::string::npos);  // bin 4
    EXPECT_NE (text.find (",0001,000,000,"), std::string::npos);  // bin 16, then the constants
    EXPECT_EQ (summary_file_text (bucket).substr (0, 6), "10001,");
}

TEST (RecordFormat, EmptyBucketWritesZerosAndALoneDot)
{
    BoardBucket bucket;
    EXPECT_EQ (package_file_text (bucket),
               "0000," + zeros_fields (17, "0000") + "000,000,0.000000,0.000000,000\r\n.\r\n");
    EXPECT_EQ (summary_file_text (bucket), "0," + zeros_fields (17, "0") + "000,000,0.000000,0.000000,0.0,0.0\r\n");

    // Whatever deviation and average are stored are written as they are.
    bucket.stddev = 1.5;
    bucket.average = 12.25;
    EXPECT_NE (summary_file_text (bucket).find (",1.500000,12.250000,"), std::string::npos);
}
