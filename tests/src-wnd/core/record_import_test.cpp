#include "src-wnd/core/number_conversions.h"
#include "src-wnd/core/record_format.h"
#include "src-wnd/core/record_import.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace
{
template <typename Error>
std::string error_text_of (const std::string& line)
{
    try
    {
        parse_record_values (line);
    }
    catch (const Error& e)
    {
        return e.what();
    }
    catch (...)
    {
        return "other error";
    }
    return "no error";
}
} // namespace

TEST (RecordImport, ParsesValuesLines)
{
    struct Case
    {
        const char* line;
        std::vector<double> values;
    };
    const Case cases[] = {
        { ".", {} },
        { "", {} },
        { "14.2,0.0,15.1,.", { 14.2, 15.1 } },
        { "14.2,09.5,.", { 14.2, 9.5 } },
        { "14.2,09.5,.\r", { 14.2, 9.5 } },
        { "  12 \t-3,1e1,+2.5 ,.", { 12.0, 10.0, 2.5 } },
        { "14.2abc,7", { 14.2, 7.0 } },  // the standard conversion ignores what follows the number
        { "00.5,.,.,13", { 0.5, 13.0 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ (parse_record_values (c.line), c.values) << c.line;
}

TEST (RecordImport, BadTokensRaiseTheStandardConversionErrors)
{
    EXPECT_EQ (error_text_of<std::invalid_argument> ("14.2,abc,."), "invalid stod argument");
    EXPECT_EQ (error_text_of<std::invalid_argument> ("-"), "invalid stod argument");
    EXPECT_EQ (error_text_of<std::out_of_range> ("14.2,1e999"), "stod argument out of range");

    // A line is taken whole or not at all: half a file would put one package's boards into another.
    BoardBucket run;
    BoardBucket pkg;
    EXPECT_EQ (import_record_values ("14.0,15.0,.", run, pkg), 2u);
    EXPECT_THROW (import_record_values ("16.0,17.0,x,18.0", run, pkg), std::invalid_argument);
    EXPECT_EQ (run.values, (std::vector<double> { 14.0, 15.0 }));
    EXPECT_EQ (pkg.values, run.values);

    EXPECT_EQ (import_record_values ("13.0,0,.", run, pkg), 1u);
    EXPECT_EQ (run.values, (std::vector<double> { 14.0, 15.0, 13.0 }));
    EXPECT_DOUBLE_EQ (run.sum, 42.0);
    EXPECT_EQ (run.histogram[5] + run.histogram[6] + run.histogram[7], 3u);
}

TEST (RecordImport, QuickTokenReadingAgreesWithTheFullConversion)
{
    const char* tokens[] = { "14.2", "09.5", "00.5", "0.05", "-3", ".5", "5.", "123456789012.345678901",
                             "0.1000000000000000055511151231257827", "99999999999999999999999",
                             "1e5", "0x10", "inf", "+4.5" };
    for (const char* token : tokens)
        EXPECT_EQ (convert_stod_token (token), std::stod (token)) << token;

    char buffer[32];
    for (int i = 0; i < 20000; ++i)
    {
        std::snprintf (buffer, sizeof buffer, "%04.1f", i * 0.0137);
        EXPECT_EQ (convert_stod_token (buffer), std::stod (buffer)) << buffer;
    }
}

TEST (RecordImport, PackageOrderEndsWithTheCurrentPackage)
{
    const auto inside = import_package_order (3);
    ASSERT_EQ (inside.size(), 999u);
    EXPECT_EQ (inside[0], 1);
    EXPECT_EQ (inside[1], 2);
    EXPECT_EQ (inside[2], 4);
    EXPECT_EQ (inside[997], 999);
    EXPECT_EQ (inside.back(), 3);

    for (const int outside : { 0, 1000, -5 })
    {
        const auto order = import_package_order (outside);
        ASSERT_EQ (order.size(), 1000u);
        EXPECT_EQ (order[998], 999);
        EXPECT_EQ (order.back(), outside);
    }
}

TEST (RecordImport, ReadsTheSecondLineOfWhatTheWriterWrote)
{
    const std::string dir = vurtest::makeTempDir ("import");
    BoardBucket bucket;
    for (const double v : { 14.2, 9.5, 0.5, 24.04 })
        bucket.add (v);
    bucket.recompute_average();

    const std::string path = dir + "/7_012003.mc";
    vurtest::writeFile (path, package_file_text (bucket));
    EXPECT_EQ (read_record_values_line (path), "14.2,09.5,00.5,24.0,.");
    EXPECT_EQ (parse_record_values (read_record_values_line (path)), (std::vector<double> { 14.2, 9.5, 0.5, 24.0 }));

    vurtest::writeFile (path, "0001,only one line\r\n");
    EXPECT_EQ (read_record_values_line (path), "");
    vurtest::writeFile (path, "first\nsecond");
    EXPECT_EQ (read_record_values_line (path), "second");
    EXPECT_EQ (read_record_values_line (dir + "/missing.mc"), "");

    // Whether the file could be read at all: a file that is there but unreadable is not an empty one.
    std::string line = "left over";
    EXPECT_TRUE (read_record_values_line (path, line));
    EXPECT_EQ (line, "second");
    vurtest::writeFile (path, "0001,only one line\r\n");
    EXPECT_TRUE (read_record_values_line (path, line));
    EXPECT_EQ (line, "");
    line = "left over";
    EXPECT_FALSE (read_record_values_line (dir + "/missing.mc", line));
    EXPECT_EQ (line, "");
#ifndef _WIN32
    std::filesystem::create_directory (dir + "/folder.mc");
    EXPECT_FALSE (read_record_values_line (dir + "/folder.mc", line));
#endif
}

TEST (RecordImport, BoardValuesText)
{
    EXPECT_EQ (board_values_text ({ 14.0, 15.0, 13.04 }), "14.0, 15.0, 13.0, ");
    EXPECT_EQ (board_values_text ({}), "");
}
