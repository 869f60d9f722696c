// Kiln, run and package numbers reaching a channel from its saved settings, the OPC output file and the CSV
// file, and what a change does to the records.

#include "records_fixture.h"

#include <algorithm>

namespace
{
using Tracking = vurtest::RecordsFixture;

std::string sequence_line (const TabCanvas& canvas, const std::string& number)
{
    return "prefix=" + canvas.prefix + ": detected OPC Console output file " + canvas.opc_output_filename
           + " has a sequence number of \"" + number + "\"";
}

// Whether the wanted lines appear in the given order among the lines.
bool in_order (const std::vector<std::string>& lines, const std::vector<std::string>& wanted)
{
    auto at = lines.begin();
    for (const auto& w : wanted)
    {
        at = std::find (at, lines.end(), w);
        if (at == lines.end())
            return false;
        ++at;
    }
    return true;
}

std::size_t package_size (TabCanvas& canvas)
{
    return canvas.figures().pkg_count;
}

TEST_F (Tracking, SavedNumbersShowAtStartAndTheRunIsImportedWithoutWritingRecords)
{
    write_record ("7_012001.mc", "14.0,15.0,.");
    auto& canvas = make_canvas ("a", 7, 12, 3);

    EXPECT_EQ (text_of (canvas.kiln_value), "7");
    EXPECT_EQ (text_of (canvas.run_value), "012");
    EXPECT_EQ (text_of (canvas.pkg_value), "003");
    EXPECT_EQ (canvas.figures().current_kiln, 7);
    EXPECT_EQ (canvas.figures().current_run, 12);
    EXPECT_EQ (canvas.figures().current_pkg, 3);
    EXPECT_EQ (record_names(), std::vector<std::string> { "7_012001.mc" });
    EXPECT_EQ (canvas.figures (BoardValues::included).run_values, (std::vector<double> { 14.0, 15.0 }));
    EXPECT_TRUE (canvas.figures (BoardValues::included).pkg_values.empty());

    const std::string log = log_text();
    EXPECT_NE (log.find ("prefix=a: skipping output of .mc files since kiln, run, and package numbers are all zero"), std::string::npos);
    EXPECT_NE (log.find ("prefix=a: flag indicating we need to output .mc files is not set"), std::string::npos);

    // Every poll says the file is missing, the constructor's first one included.
    const std::string failed = "prefix=a: failed to load the OPC output file \"" + canvas.opc_output_filename + "\"";
    EXPECT_EQ (count_of (log, failed), 1u);
    for (std::size_t poll = 2; poll <= 4; ++poll)
    {
        canvas.timerCallback();
        EXPECT_EQ (count_of (log_text(), failed), poll);
    }
    EXPECT_EQ (record_names(), std::vector<std::string> { "7_012001.mc" });
}

TEST_F (Tracking, OnlyANewSequenceNumberIsLookedAtAndOnlyNewNumbersAreApplied)
{
    auto& canvas = make_canvas ("a", 7, 12, 3);
    struct Step
    {
        const char* what;
        const char* file;
        std::vector<std::string> sequence_numbers_logged;
        int pending_kiln, pending_run, pending_pkg;
    };
    const Step steps[] = {
        { "new sequence, the numbers in force", "100\nN75:3=7\nN75:4=12\nN75:5=3\n", { "100" }, 7, 12, 3 },
        { "same sequence, other numbers", "100\nN75:3=8\nN75:4=13\nN75:5=9\n", {}, 7, 12, 3 },
        { "CR LF, keys ending in the register, 0 and lines without '='",
          "101\r\n[INFEED]N75:3=7\r\nN75:4=12\r\nN75:5=0\r\nN75:5\r\n\r\n", { "101" }, 7, 12, 3 },
    };
    for (const auto& step : steps)
    {
        SCOPED_TRACE (step.what);
        write_opc_file (canvas, step.file);
        const auto mark = log_mark();
        canvas.timerCallback();

        std::vector<std::string> expected;
        for (const auto& n : step.sequence_numbers_logged)
            expected.push_back (sequence_line (canvas, n));
        EXPECT_EQ (channel_messages (log_since (mark), "a"), expected);
        EXPECT_EQ (canvas.pending_kiln, step.pending_kiln);
        EXPECT_EQ (canvas.pending_run, step.pending_run);
        EXPECT_EQ (canvas.pending_pkg, step.pending_pkg);
        EXPECT_EQ (text_of (canvas.pkg_value), "003");
        EXPECT_TRUE (record_names().empty());
    }
}

class PackageChange : public vurtest::RecordsFixture, public ::testing::WithParamInterface<bool>
{
};

TEST_P (PackageChange, FlushesTheOldPackageAndRunThenRebuildsBothBucketsFromTheRun)
{
    const bool next_package_on_disk = GetParam();
    write_record ("7_012001.mc", "14.0,15.0,.");
    if (next_package_on_disk)
        write_record ("7_012004.mc", "16.0,.");
    auto& canvas = make_canvas ("a", 7, 12, 3);

    ASSERT_TRUE (meter().send ("13.1\t13.0\r\n12.1\t12.0\r\n"));
    ASSERT_TRUE (pump_until ([&] { return package_size (canvas) == 2; }));

    write_opc_file (canvas, "200\nN75:3=7\nN75:4=12\nN75:5=4\n");
    const auto mark = log_mark();
    canvas.timerCallback();  // refreshes the deviations, then polls

    // The old package and run under their own names, with the deviations of the refresh. The run held the
    // package on disk too, since the start.
    EXPECT_EQ (record ("7_012003.mc"),
               "0002,0000,0000,0000,0000,0001,0001,0000,0000,0000,0000,0000,0000,0000,0000,0000,0000,0000,"
               "000,000,0.707107,12.500000,000\r\n"
               "13.0,12.0,.\r\n");
    EXPECT_EQ (record ("7_012000.mc"), next_package_on_disk
                                           ? "5,0,0,0,0,1,1,1,1,1,0,0,0,0,0,0,0,0,000,000,1.581139,14.000000,0.0,0.0\r\n"
                                           : "4,0,0,0,0,1,1,1,1,0,0,0,0,0,0,0,0,0,000,000,1.290994,13.500000,0.0,0.0\r\n");
    const std::string old_run = next_package_on_disk ? "(run size=5, run avg=14)" : "(run size=4, run avg=13.5)";
    const std::string old_run_average = next_package_on_disk ? "run avg=14)" : "run avg=13.5)";

    std::vector<double> run { 14.0, 15.0, 13.0, 12.0 };
    std::vector<double> pkg;
    if (next_package_on_disk)
    {
        run.push_back (16.0);
        pkg.push_back (16.0);
    }
    EXPECT_EQ (canvas.figures (BoardValues::included).run_values, run);
    EXPECT_EQ (canvas.figures (BoardValues::included).pkg_values, pkg);
    EXPECT_DOUBLE_EQ (canvas.figures().pkg_average, pkg.empty() ? 0.0 : 16.0);
    EXPECT_EQ (canvas.figures().pkg_stddev, 0.0);
    EXPECT_EQ (text_of (canvas.pkg_value), "004");
    EXPECT_EQ (canvas.figures().current_pkg, 4);
    EXPECT_EQ (canvas.warning.last_warning_board_count, 0u);

    const std::string dir = record_dir + "/";
    const auto lines = channel_messages (log_since (mark), "a");
    EXPECT_TRUE (in_order (lines, {
        sequence_line (canvas, "200"),
        "prefix=a: need to update the kiln, run, or package number",
        "prefix=a: -> current k=7 r=12 p=3",
        "prefix=a: -> updated k=7 r=12 p=4",
        "prefix=a: flag indicating we need to output .mc files has been set",
        "prefix=a: flag indicating pkg variables will be reset: true",
        "prefix=a: flag indicating run variables will be reset: true",
        "prefix=a: writing 2 boards to " + dir + "7_012003.mc (k=7, r=012, p=003, pkg avg=12.5, " + old_run_average,
        "prefix=a: writing summary data to " + dir + "7_012000.mc " + old_run,
        "prefix=a: reset all PKG values to zero",
        "prefix=a: reset all RUN values to zero",
        "prefix=a: significant change detected, so re-read the relevant .mc files",
        "prefix=a: importing all existing values from " + dir + "7_012001.mc",
        "prefix=a: importing all existing values from " + dir + "7_012003.mc",
    })) << log_since (mark);

    // The numbers now in force are saved for the next start, and reach the file.
    EXPECT_EQ (app->cfg->get_int ("a_last_kiln"), 7);
    EXPECT_EQ (app->cfg->get_int ("a_last_run"), 12);
    EXPECT_EQ (app->cfg->get_int ("a_last_pkg"), 4);
    ASSERT_TRUE (app->cfg->saveIfNeeded());
    EXPECT_NE (vurtest::readFile (app->cfg->getFile().getFullPathName().toStdString()).find ("name=\"a_last_pkg\" val=\"4\""),
               std::string::npos);
}

INSTANTIATE_TEST_SUITE_P (NextPackage, PackageChange, ::testing::Bool(),
                          [] (const ::testing::TestParamInfo<bool>& param) { return param.param ? std::string ("OnDisk") : std::string ("New"); });

TEST_F (Tracking, CsvKeysAreExactAndAnySignIsTakenIntoTheFileNames)
{
    const std::string csv = folder + "/numbers.csv";
    add_quiet_device ("a", 1, 1, 1);
    app->cfg->set_str ("a_opc_via_csv_filename", csv);
    app->cfg->set_str ("a_opc_via_csv_regex", "^\\s*\"(.+)\",(-?[0-9]+)$");
    canvases.push_back (std::make_unique<TabCanvas> ("a"));
    auto& canvas = *canvases.back();
    EXPECT_EQ (count_of (log_text(), "prefix=a: checking to see if there are any changes in \"" + csv + "\""), 1u);

    write_record ("7_0-5001.mc", "14.0,.");
    vurtest::writeFile (csv, "\"Kiln\",7\n\"Run\",-5\n\"Pkg\",3\n\"kiln\",9\nKiln,8\n");
    auto mark = log_mark();
    canvas.timerCallback();
    EXPECT_NE (log_since (mark).find ("prefix=a: read from CSV: key=kiln, val=9"), std::string::npos);
    EXPECT_EQ (canvas.pending_kiln, 7);
    EXPECT_EQ (text_of (canvas.kiln_value), "7");
    EXPECT_EQ (text_of (canvas.run_value), "0-5");
    EXPECT_EQ (text_of (canvas.pkg_value), "003");
    EXPECT_EQ (canvas.figures (BoardValues::included).run_values, std::vector<double> { 14.0 });

    vurtest::writeFile (csv, "\"Pkg\",4\n");
    canvas.timerCallback();
    EXPECT_TRUE (record_exists ("7_0-5003.mc"));
    EXPECT_TRUE (record_exists ("7_0-5000.mc"));
    EXPECT_EQ (text_of (canvas.pkg_value), "004");

    // 0 is a number like any other here; all three at 0 mean no numbers are in force, so the change that
    // follows has nothing to flush.
    vurtest::writeFile (csv, "\"Kiln\",0\n");
    canvas.timerCallback();
    EXPECT_EQ (canvas.figures().current_kiln, 0);
    EXPECT_EQ (text_of (canvas.kiln_value), "0");
    vurtest::writeFile (csv, "\"Run\",0\n\"Pkg\",0\n");
    canvas.timerCallback();
    EXPECT_EQ (text_of (canvas.run_value), "000");
    const auto before = record_names();
    vurtest::writeFile (csv, "\"Kiln\",5\n");
    mark = log_mark();
    canvas.timerCallback();
    EXPECT_NE (log_since (mark).find ("prefix=a: skipping output of .mc files since kiln, run, and package numbers are all zero"),
               std::string::npos);
    EXPECT_EQ (record_names(), before);
}

TEST_F (Tracking, HalfWrittenOpcFileIsTakenOnceWholeAndABrokenOneIsReportedOnce)
{
    auto& canvas = make_canvas ("a", 7, 12, 3);
    const auto reports = [this] { return count_of (log_text(), "An error occurred."); };

    struct Step
    {
        const char* what;
        const char* file;
        int polls;
        std::size_t reports_so_far;
        const char* pkg_text;
        const char* shown;   // on the chart while it lasts, after the polls
    };
    const Step steps[] = {
        { "cut in the middle of a value", "300\nN75:3=7\nN75:4=12\nN75:5=", 3, 1, "003", "(line 4: invalid stoi argument)" },
        { "the same file, whole", "300\nN75:3=7\nN75:4=12\nN75:5=4\n", 1, 1, "004", "" },
        { "no sequence number", "abc\n", 3, 2, "004", "(line 1: invalid stoul argument)" },
        { "empty", "", 2, 3, "004", "(line 1: invalid stoul argument)" },
        { "readable again", "301\nN75:5=5\n", 1, 3, "005", "" },
    };
    for (const auto& step : steps)
    {
        SCOPED_TRACE (step.what);
        write_opc_file (canvas, step.file);
        for (int i = 0; i < step.polls; ++i)
            canvas.timerCallback();
        EXPECT_EQ (reports(), step.reports_so_far);
        EXPECT_EQ (text_of (canvas.pkg_value), step.pkg_text);
        const auto standing = canvas.figures().standing_errors;
        const auto shown = standing.find ("opc");
        if (*step.shown == '\0')
            EXPECT_EQ (shown, standing.end());
        else
            EXPECT_EQ (shown != standing.end() ? shown->second : std::string(),
                       "the OPC output file " + canvas.opc_output_filename + " cannot be read " + step.shown);
    }
    const std::string log = log_text();
    EXPECT_EQ (count_of (log, "invalid stoi argument"), 1u);
    EXPECT_EQ (count_of (log, "invalid stoul argument"), 2u);
}
// An OPC output file or CSV file that grows without end (a gateway that appends, a file named by mistake) is
// not read whole at every poll: it is shown, logged once, and read again once it is a numbers file again.
TEST_F (Tracking, ANumbersFileTooLargeToBeOneIsNotReadUntilItIsSmallAgain)
{
    const std::string csv = folder + "/numbers.csv";
    add_quiet_device ("b", 7, 12, 3);
    app->cfg->set_str ("b_opc_via_csv_filename", csv);
    canvases.push_back (std::make_unique<TabCanvas> ("b"));
    auto& from_csv = *canvases.back();
    auto& from_opc = make_canvas ("a", 7, 12, 3);

    std::string padding;
    for (int i = 0; i < 600000; ++i)
        padding += "x\n";
    write_opc_file (from_opc, "300\nN75:5=4\n" + padding);
    vurtest::writeFile (csv, "\"Pkg\",4\n" + padding);
    const auto mark = log_mark();
    for (int i = 0; i < 3; ++i)
    {
        from_opc.timerCallback();
        from_csv.timerCallback();
    }
    for (auto* canvas : { &from_opc, &from_csv })
        EXPECT_EQ (text_of (canvas->pkg_value), "003");
    const std::string opc_message = "the OPC output file " + from_opc.opc_output_filename + " is larger than 1048576 bytes and is not read";
    const std::string csv_message = "the CSV file " + csv + " is larger than 1048576 bytes and is not read";
    EXPECT_EQ (from_opc.figures().standing_errors["opc"], opc_message);
    EXPECT_EQ (from_csv.figures().standing_errors["csv"], csv_message);
    EXPECT_EQ (count_of (log_since (mark), "prefix=a: " + opc_message), 1u);
    EXPECT_EQ (count_of (log_since (mark), "prefix=b: " + csv_message), 1u);

    write_opc_file (from_opc, "301\nN75:5=5\n");
    vurtest::writeFile (csv, "\"Pkg\",5\n");
    from_opc.timerCallback();
    from_csv.timerCallback();
    for (auto* canvas : { &from_opc, &from_csv })
    {
        EXPECT_EQ (text_of (canvas->pkg_value), "005");
        EXPECT_TRUE (canvas->figures().standing_errors.empty());
    }
}
} // namespace
