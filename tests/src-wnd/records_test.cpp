// A channel's record files: what it writes as boards arrive and as packages change, what it reads back, and
// how it reports the files it cannot read or write.

#include "records_fixture.h"
#include "src-base/platform/system_errors.h"
#include "src-wnd/core/board_stats.h"
#include "src-wnd/vodaze.h"

#ifdef _WIN32
 #include <winerror.h>
#endif

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <thread>

namespace
{
using Records = vurtest::RecordsFixture;

std::size_t package_size (TabCanvas& canvas)
{
    return canvas.figures().pkg_count;
}

std::size_t run_size (TabCanvas& canvas)
{
    return canvas.figures().run_count;
}

TabCanvas::Histogram histogram_of (const std::vector<double>& values)
{
    TabCanvas::Histogram h {};
    for (const double v : values)
        ++h[static_cast<std::size_t> (moisture_bin (v))];
    return h;
}

double sum_of (const std::vector<double>& values)
{
    double sum = 0.0;
    for (const double v : values)
        sum += v;
    return sum;
}

// The package numbers named by the "clearing out" lines of one channel, in order.
std::vector<int> clearing_packages (const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<int> packages;
    const std::string start = "prefix=" + prefix + ": clearing out all package buckets and ";
    for (const auto& line : lines)
    {
        if (line.rfind (start, 0) != 0)
            continue;
        const auto at = line.find (" p=");
        packages.push_back (std::stoi (line.substr (at + 3)));
    }
    return packages;
}

bool has_line (const std::vector<std::string>& lines, const std::string& line)
{
    return std::find (lines.begin(), lines.end(), line) != lines.end();
}

TEST_F (Records, ImportRebuildsTheRunFromEveryPackageFileAndThePackageFromItsOwn)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        int pkg;
        std::vector<double> run, package;
        std::vector<int> clearing_at;
    };
    const Case cases[] = {
        { "current package on disk", { { "7_012001.mc", "14.0,15.0,." }, { "7_012003.mc", "13.0,." } }, 3,
          { 14.0, 15.0, 13.0 }, { 13.0 }, { 1, 2 } },
        { "current package not on disk", { { "7_012001.mc", "14.0,15.0,." }, { "7_012003.mc", "13.0,." } }, 4,
          { 14.0, 15.0, 13.0 }, {}, { 1, 2, 5 } },
        { "a lone end marker still counts as a loaded file; 0.0 is dropped",
          { { "7_012001.mc", "." }, { "7_012002.mc", "14.2,0.0,15.1,." } }, 2, { 14.2, 15.1 }, { 14.2, 15.1 }, { 1, 3 } },
    };
    const std::string prefixes[] = { "a", "b", "c" };
    for (std::size_t i = 0; i < std::size (cases); ++i)
    {
        const auto& c = cases[i];
        const auto& prefix = prefixes[i];
        SCOPED_TRACE (c.what);
        std::filesystem::remove_all (record_dir);
        std::filesystem::create_directories (record_dir);
        for (const auto& [name, values] : c.files)
            write_record (name, values);

        const auto mark = log_mark();
        auto& canvas = make_canvas (prefix, 7, 12, c.pkg);
        const auto lines = messages (log_since (mark));

        const ChannelFigures now = canvas.figures (BoardValues::included);
        EXPECT_EQ (now.run_values, c.run);
        EXPECT_EQ (now.pkg_values, c.package);
        EXPECT_EQ (now.run_histogram, histogram_of (c.run));
        EXPECT_EQ (now.pkg_histogram, histogram_of (c.package));
        EXPECT_DOUBLE_EQ (now.run_sum, sum_of (c.run));
        EXPECT_DOUBLE_EQ (now.pkg_sum, sum_of (c.package));
        EXPECT_DOUBLE_EQ (now.run_average, sum_of (c.run) / static_cast<double> (c.run.size()));
        EXPECT_DOUBLE_EQ (now.pkg_average, c.package.empty() ? 0.0 : sum_of (c.package) / static_cast<double> (c.package.size()));
        EXPECT_EQ (clearing_packages (lines, prefix), c.clearing_at);
        EXPECT_TRUE (record_names().size() == c.files.size()) << "nothing is written at start";
    }

    // The log of the first case, line by line where it names figures.
    const std::string path1 = record_dir + "/7_012001.mc";
    std::filesystem::remove_all (record_dir);
    std::filesystem::create_directories (record_dir);
    write_record ("7_012001.mc", "14.0,15.0,.");
    write_record ("7_012003.mc", "13.0,.");
    const auto mark = log_mark();
    make_canvas ("d", 7, 12, 3);
    const auto lines = messages (log_since (mark));
    for (const auto& line : std::vector<std::string> {
             "prefix=d: clearing out all package buckets and 0 board entries to load k=7 << r=12 p=1 from 7_012001.mc (run so far contains 0 boards)",
             "prefix=d: importing all existing values from " + path1,
             "prefix=d: RUN: filename=" + path1 + ": imported 2 existing entries, run average is 14.5, run contains a total of 2 entries",
             "prefix=d: PKG: filename=" + path1 + ": imported 2 existing entries, pkg average is 14.5, pkg contains a total of 2 entries",
             "prefix=d: clearing out all package buckets and 2 board entries to load k=7 << r=12 p=2 from 7_012002.mc (run so far contains 2 boards)",
             "prefix=d: import has finished loading 3 boards",
             "prefix=d: 3 boards in run: k=7 r=12: 14.0, 15.0, 13.0, ",
             "prefix=d: 1 boards in pkg: k=7 r=12, p=3: 13.0, ",
         })
        EXPECT_TRUE (has_line (lines, line)) << line;
}

// A run still open at New Year: its earlier packages, and the current one up to its last write, are in last
// year's folder. They stay in the run, a file of this year's folder wins over last year's of the same name,
// and what is written goes to this year's folder, leaving last year's files as they were.
TEST_F (Records, ARunOpenAtNewYearKeepsWhatLastYearsFolderHolds)
{
    const int year = std::stoi (record_dir.substr (record_dir.size() - 4));
    const std::string last_year = records_dir + "/" + std::to_string (year - 1);
    std::filesystem::create_directories (last_year);
    const auto write_last_year = [&] (const std::string& name, const std::string& values) {
        vurtest::writeFile (last_year + "/" + name, "0000,statistics line\r\n" + values + "\r\n");
    };
    write_last_year ("7_012001.mc", "14.0,15.0,.");
    write_last_year ("7_012003.mc", "13.0,.");
    write_last_year ("7_013001.mc", "30.0,."); // another run
    write_record ("7_012001.mc", "11.0,.");
    write_record ("7_012002.mc", "16.0,.");

    auto& canvas = make_canvas ("a", 7, 12, 3);
    const ChannelFigures imported = canvas.figures (BoardValues::included);
    EXPECT_EQ (imported.run_values, (std::vector<double> { 11.0, 16.0, 13.0 }));
    EXPECT_EQ (imported.pkg_values, (std::vector<double> { 13.0 }));

    add_boards (canvas, { { 17.0, 1 } });
    canvas.write_package_file();
    EXPECT_NE (record ("7_012003.mc").find ("13.0,17.0,."), std::string::npos) << record ("7_012003.mc");
    EXPECT_EQ (vurtest::readFile (last_year + "/7_012003.mc"), "0000,statistics line\r\n13.0,.\r\n");
}

TEST_F (Records, BadRecordAtStartIsReportedAndTheWindowIsStillBuilt)
{
    write_record ("7_012001.mc", "14.0,15.0,.");
    write_record ("7_012002.mc", "16.0,abc,17.0,.");
    add_quiet_device ("a", 7, 12, 3);
    app->wnd = app->make_main_window();

    ASSERT_EQ (app->wnd->notebook.getNumTabs(), 1);
    auto* canvas = dynamic_cast<TabCanvas*> (app->wnd->notebook.getTabContentComponent (0));
    ASSERT_NE (canvas, nullptr);
    const std::string message = "cannot import the record file " + record_dir + "/7_012002.mc: invalid stod argument; it is left out";
    EXPECT_NE (log_text().find ("prefix=a: " + message + "\n"), std::string::npos);
    {
        const ChannelFigures now = canvas->figures (BoardValues::included);
        EXPECT_NE (std::find (now.error_messages.begin(), now.error_messages.end(), message), now.error_messages.end());
        // The bad file is left out whole; the others are read.
        EXPECT_EQ (now.run_values, (std::vector<double> { 14.0, 15.0 }));
        EXPECT_DOUBLE_EQ (now.run_average, 14.5);
    }
    EXPECT_EQ (text_of (canvas->pkg_value), "003");
    close_boxes();
    app->wnd.reset();
}

TEST_F (Records, ABadEarlierFileNeverPutsItsBoardsIntoTheCurrentPackage)
{
    // Package 2 broke half way; package 3 is the current one and holds two boards.
    write_record ("7_012001.mc", "14.0,15.0,.");
    write_record ("7_012002.mc", "13.0,12.0,x1,11.0,.");
    write_record ("7_012003.mc", "16.0,17.0,.");
    auto& canvas = make_canvas ("a", 7, 12, 3);
    {
        const ChannelFigures now = canvas.figures (BoardValues::included);
        EXPECT_EQ (now.pkg_values, (std::vector<double> { 16.0, 17.0 }));
        EXPECT_EQ (now.run_values, (std::vector<double> { 14.0, 15.0, 16.0, 17.0 }));
    }
    add_boards (canvas, { { 18.0, 1 } });
    canvas.write_package_file();
    EXPECT_NE (record ("7_012003.mc").find ("16.0,17.0,18.0,"), std::string::npos) << record ("7_012003.mc");
}

TEST_F (Records, TheCurrentPackagesOwnUnreadableFileIsKeptAsideBeforeItIsWrittenAgain)
{
    const std::string broken = "0000,statistics line\r\n16.0,x17,.\r\n";
    vurtest::writeFile (record_dir + "/7_012003.mc", broken);
    auto& canvas = make_canvas ("a", 7, 12, 3);
    EXPECT_EQ (package_size (canvas), 0u);

    add_boards (canvas, { { 18.0, 1 } });
    canvas.write_package_file();
    std::vector<std::string> kept;
    for (const auto& name : record_names())
        if (name.rfind ("7_012003.mc.unreadable-", 0) == 0)
            kept.push_back (name);
    ASSERT_EQ (kept.size(), 1u) << ::testing::PrintToString (record_names());
    EXPECT_EQ (record (kept[0]), broken);
    EXPECT_NE (record ("7_012003.mc").find ("18.0,"), std::string::npos);

    // Kept once: the next write replaces only the new file.
    canvas.write_package_file();
    EXPECT_EQ (record_names().size(), 2u) << ::testing::PrintToString (record_names());
}

// A mill names its record folder in its own language ("D:\Sågverk\%Y\"): the channel reads its package back
// from there at start and writes it there again.
TEST_F (Records, ARecordFolderNamedOutsideAsciiIsReadAndWritten)
{
    const std::string year = record_dir.substr (record_dir.size() - 4);
    app->cfg->set_str ("output_directory", records_dir + "/S\u00e5gverk J\u00f6rg/%Y/");
    record_dir = records_dir + "/S\u00e5gverk J\u00f6rg/" + year;
    std::filesystem::create_directories (std::filesystem::u8path (record_dir));
    write_record ("7_012001.mc", "12.0,.");
    write_record ("7_012003.mc", "13.0,14.0,.");

    auto& canvas = make_canvas ("a", 7, 12, 3);
    const ChannelFigures imported = canvas.figures (BoardValues::included);
    EXPECT_EQ (imported.run_values, (std::vector<double> { 12.0, 13.0, 14.0 }));
    EXPECT_EQ (imported.pkg_values, (std::vector<double> { 13.0, 14.0 }));

    add_boards (canvas, { { 15.0, 1 } });
    canvas.write_package_file();
    const std::string file = record ("7_012003.mc");
    EXPECT_EQ (file.substr (0, 5), "0003,") << file;
    EXPECT_NE (file.find ("13.0,14.0,15.0,."), std::string::npos) << file;
    EXPECT_EQ (record_names(), (std::vector<std::string> { "7_012001.mc", "7_012003.mc" }));
}

TEST_F (Records, APackageFileThatCannotBeWrittenAtAChangeKeepsItsBoardsUntilItCanBe)
{
    auto& canvas = make_canvas ("a", 7, 12, 3);
    add_boards (canvas, { { 14.0, 2 }, { 15.0, 1 } });

    // The year's folder is gone and a plain file stands in its place: nothing can be written there.
    std::filesystem::remove_all (record_dir);
    vurtest::writeFile (record_dir, "");
    const auto mark = log_mark();
    canvas.pending_pkg = 4;
    canvas.apply_kiln_run_pkg_change();

    // The change is applied all the same, and the old package is held and shown.
    EXPECT_EQ (text_of (canvas.pkg_value), "004");
    EXPECT_EQ (package_size (canvas), 0u);
    const std::string path = record_dir + "/7_012003.mc";
    EXPECT_NE (log_since (mark).find ("prefix=a: failed to write the record file " + path + ": "), std::string::npos) << log_since (mark);
    {
        auto standing = canvas.figures().standing_errors;
        ASSERT_EQ (standing.count ("record " + path), 1u);
        EXPECT_EQ (standing["record " + path].rfind ("failed to write the record file " + path, 0), 0u);
    }

    // Still failing at the next poll: no new line for the same reason.
    const auto retry_mark = log_mark();
    canvas.retry_unwritten_records();
    EXPECT_EQ (log_since (retry_mark).find ("failed to write"), std::string::npos) << log_since (retry_mark);

    // The folder is back: the next poll writes the old package with its three boards.
    std::filesystem::remove (record_dir);
    std::filesystem::create_directories (record_dir);
    canvas.retry_unwritten_records();
    ASSERT_TRUE (record_exists ("7_012003.mc"));
    EXPECT_NE (record ("7_012003.mc").find ("14.0,14.0,15.0,"), std::string::npos) << record ("7_012003.mc");
    EXPECT_TRUE (record_exists ("7_012000.mc")) << ::testing::PrintToString (record_names()) << log_since (mark);
    EXPECT_TRUE (canvas.figures().standing_errors.empty());
}

// A package file that waits to be written, with no older copy on disk, is still part of its run, and is the
// package's content when the plant goes back to that package.
TEST_F (Records, APackageWaitingToBeWrittenStaysInItsRunAndComesBackWithItsPackage)
{
    auto& canvas = make_canvas ("a", 7, 12, 3);
    add_boards (canvas, { { 14.0, 2 }, { 15.0, 1 } });
    // A folder in the file's place: only this one file cannot be written.
    std::filesystem::create_directories (record_dir + "/7_012003.mc");

    canvas.pending_pkg = 4;
    canvas.apply_kiln_run_pkg_change();
    EXPECT_EQ (canvas.figures (BoardValues::included).run_values, (std::vector<double> { 14.0, 14.0, 15.0 }));
    EXPECT_EQ (package_size (canvas), 0u);

    canvas.pending_pkg = 3;
    canvas.apply_kiln_run_pkg_change();
    EXPECT_EQ (canvas.figures (BoardValues::included).pkg_values, (std::vector<double> { 14.0, 14.0, 15.0 }));
    add_boards (canvas, { { 16.0, 1 } });
    canvas.write_package_file();

    std::filesystem::remove (record_dir + "/7_012003.mc");
    canvas.retry_unwritten_records();
    EXPECT_NE (record ("7_012003.mc").find ("14.0,14.0,15.0,16.0,."), std::string::npos) << record ("7_012003.mc");
}

#ifndef _WIN32
// The current package's file is there but its state cannot be read (here a name that never resolves; on a
// mill's share, a folder that is away for a moment): its boards are not taken for none, and the file is not
// replaced by one that holds only the boards counted since.
TEST_F (Records, APackageFileThatCannotBeCheckedIsNotTakenForAnEmptyOne)
{
    const std::string path = record_dir + "/7_012003.mc";
    std::filesystem::create_symlink ("7_012003.mc", path);
    auto& canvas = make_canvas ("a", 7, 12, 3);

    const auto errors = canvas.figures().error_messages;
    ASSERT_EQ (errors.size(), 1u) << ::testing::PrintToString (errors);
    EXPECT_EQ (errors[0].rfind ("cannot import the record file " + path + ": ", 0), 0u) << errors[0];

    add_boards (canvas, { { 18.0, 1 } });
    canvas.write_package_file();
    EXPECT_TRUE (std::filesystem::is_symlink (path)) << "replaced while it could not be kept";
    EXPECT_EQ (canvas.figures().standing_errors.count ("record " + path), 1u);
}
#endif

TEST_F (Records, AFileThatCanNeverBeWrittenEndsUpInTheLog)
{
    auto canvas = std::make_unique<TabCanvas> ((add_quiet_device ("a", 7, 12, 3), "a"));
    add_boards (*canvas, { { 14.0, 1 } });
    std::filesystem::remove_all (record_dir);
    vurtest::writeFile (record_dir, "");
    canvas->write_package_file();
    const auto mark = log_mark();
    close_boxes();
    canvas.reset();
    const std::string log = log_since (mark);
    EXPECT_NE (log.find ("prefix=a: the record file " + record_dir + "/7_012003.mc could not be written ("), std::string::npos) << log;
    EXPECT_NE (log.find ("14.0,"), std::string::npos) << log;
}

TEST_F (Records, DevicesThatWouldShareRecordFilesAreNamedOnceInTheLogAndOnBothCharts)
{
    add_quiet_device ("a", 7, 12, 3);
    add_quiet_device ("b", 7, 12, 3);
    add_quiet_device ("c", 7, 12, 3);
    app->cfg->set_str ("c_output_directory", records_dir + "/c/%Y/");
    const auto mark = log_mark();
    app->wnd = app->make_main_window();

    const std::string shared_setting = records_dir + "/%Y/";
    const std::string year_folder = record_dir + "/";
    EXPECT_EQ (count_of (log_since (mark), "prefix=a and prefix=b would write the same record files into " + year_folder + "\n"), 1u)
        << log_since (mark) << shared_setting;
    EXPECT_EQ (count_of (log_since (mark), "would write the same record files"), 1u);
    const auto errors_of = [this] (int tab) {
        return dynamic_cast<TabCanvas&> (*app->wnd->notebook.getTabContentComponent (tab)).figures().error_messages;
    };
    EXPECT_EQ (errors_of (0), std::vector<std::string> { "record files shared with prefix=b in " + year_folder + ": set a_output_directory to keep them apart" });
    EXPECT_EQ (errors_of (1), std::vector<std::string> { "record files shared with prefix=a in " + year_folder + ": set b_output_directory to keep them apart" });
    EXPECT_TRUE (errors_of (2).empty());
    close_boxes();
    app->wnd.reset();
}

TEST_F (Records, FailedWritesAreLoggedWithTheirReason)
{
    auto& canvas = make_canvas ("a", 7, 12, 3);
    vurtest::writeFile (records_dir + "/plain-file", "");

    struct Case
    {
        const char* what;
        std::string output_directory;
        std::string block;  // a folder made where the package file belongs
        std::vector<std::string> logged;
    };
    const std::string blocked_dir = records_dir + "/blocked";
    // The folder pattern has no separator at its end: the file's name joins it with the system's own. The
    // reason is the system's text: Windows refuses to replace a folder as it refuses an access.
#ifdef _WIN32
    const std::string blocked_file = blocked_dir + "\\7_012003.mc";
    std::string folder_in_place = Ziz::sys::lastErrorDescription (ERROR_ACCESS_DENIED);
    // The system's message ends in blanks that a log line leaves out.
    while (! folder_in_place.empty() && std::isspace (static_cast<unsigned char> (folder_in_place.back())))
        folder_in_place.pop_back();
#else
    const std::string blocked_file = blocked_dir + "/7_012003.mc";
    const std::string folder_in_place = Ziz::sys::errnoDescription (EISDIR);
#endif
    const Case cases[] = {
        { "folder under a plain file", records_dir + "/plain-file/%Y", "",
          { "prefix=a: failed to create the record folder " + records_dir + "/plain-file/",
            "prefix=a: failed to write the record file " + records_dir + "/plain-file/" } },
        { "a folder in the file's place", blocked_dir, blocked_dir + "/7_012003.mc",
          { "prefix=a: failed to write the record file " + blocked_file + ": cannot replace \"" + blocked_file + "\": " + folder_in_place } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        if (! c.block.empty())
            std::filesystem::create_directories (c.block);
        app->cfg->set_str ("output_directory", c.output_directory);
        const auto mark = log_mark();
        canvas.write_package_file();
        const std::string log = log_since (mark);
        for (const auto& part : c.logged)
            EXPECT_NE (log.find (part), std::string::npos) << part << "\n" << log;
        EXPECT_NE (log.find (":\n----------\n----------\n"), std::string::npos) << "an unreadable file is logged as empty";
    }
    EXPECT_NE (log_text().find ("Not a directory"), std::string::npos);
}

TEST_F (Records, BoardsFromTheMeterAreWrittenByteForByte)
{
    auto& canvas = make_canvas ("a", 7, 12, 3);
    ASSERT_TRUE (meter().send ("14.8\t14.2\r\n09.1\t09.5\r\n"));
    ASSERT_TRUE (pump_until ([&] { return package_size (canvas) == 2; }));
    canvas.update_deviations();

    const auto mark = log_mark();
    canvas.write_package_file();
    canvas.write_summary_file();
    const std::string package_text = "0002,0000,0001,0000,0000,0000,0000,0001,0000,0000,0000,0000,0000,0000,0000,0000,0000,0000,"
                                     "000,000,3.323402,11.850000,000\r\n"
                                     "14.2,09.5,.\r\n";
    const std::string summary_text = "2,0,1,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,000,000,3.323402,11.850000,0.0,0.0\r\n";
    EXPECT_EQ (record ("7_012003.mc"), package_text);
    EXPECT_EQ (record ("7_012000.mc"), summary_text);

    const std::string package_path = record_dir + "/7_012003.mc";
    const std::string summary_path = record_dir + "/7_012000.mc";
    const std::string log = log_since (mark);
    for (const auto& part : std::vector<std::string> {
             "prefix=a: writing 2 boards to " + package_path + " (k=7, r=012, p=003, pkg avg=11.85, run avg=11.85)\n",
             "prefix=a: " + package_path + ":\n----------\n" + "0002,0000,0001,0000,0000,0000,0000,0001,0000,0000,0000,0000,0000,"
                 "0000,0000,0000,0000,0000,000,000,3.323402,11.850000,000\n14.2,09.5,.\n----------\n",
             "prefix=a: writing summary data to " + summary_path + " (run size=2, run avg=11.85)\n",
             "prefix=a: " + summary_path + ":\n----------\n2,0,1,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,000,000,3.323402,11.850000,0.0,0.0\n----------\n",
         })
        EXPECT_NE (log.find (part), std::string::npos) << part << "\n" << log;
}

TEST_F (Records, EveryHundredthBoardRewritesThePackageFile)
{
    add_quiet_device ("a", 7, 12, 3);
    app->cfg->set_str ("a_read_len", "1100");
    app->cfg->set_str ("a_interval_ms", "10");
    canvases.push_back (std::make_unique<TabCanvas> ("a"));

    std::string lines, values;
    for (int i = 0; i < 150; ++i)
    {
        char board[32];
        const double value = 8.0 + (i % 170) * 0.1;
        std::snprintf (board, sizeof board, "%04.1f\t%04.1f\r\n", value + 1.0, value);
        lines += board;
        if (i < 100)
        {
            std::snprintf (board, sizeof board, "%04.1f,", value);
            values += board;
        }
    }
    ASSERT_TRUE (meter().send (lines));
    ASSERT_TRUE (pump_until ([&] { return package_size (*canvases.back()) == 150; }));

    // Written by the reading thread at the hundredth board, and not again before the two hundredth.
    EXPECT_EQ (count_of (log_text(), "prefix=a: writing 100 boards to " + record_dir + "/7_012003.mc"), 1u);
    const std::string file = record ("7_012003.mc");
    EXPECT_EQ (file.substr (0, 5), "0100,");
    EXPECT_EQ (file.substr (file.find ("\r\n") + 2), values + ".\r\n");
}

// The reading thread goes on adding boards while a change of package rebuilds the buckets from a long run.
// Every board must land exactly once in the run and, since it arrived after the change, in the new package;
// the new package's file must never be written from a half-rebuilt bucket.
TEST_F (Records, BoardsArrivingDuringAChangeBelongToTheNewPackage)
{
    constexpr int files = 300;
    constexpr int per_file = 150;
    std::string stored;
    for (int i = 0; i < per_file; ++i)
        stored += "20.5,";
    stored += ".";
    for (int p = 1; p <= files; ++p)
    {
        char name[32];
        std::snprintf (name, sizeof name, "7_013%03d.mc", p);
        write_record (name, stored);
    }

    add_quiet_device ("a", 7, 12, 1);
    app->cfg->set_str ("a_read_len", "220");
    app->cfg->set_str ("a_interval_ms", "1");
    canvases.push_back (std::make_unique<TabCanvas> ("a"));
    auto& canvas = *canvases.back();

    std::atomic<bool> stop { false };
    std::atomic<std::size_t> sent { 0 };
    const vurtest::Meter& line = meter();
    std::thread meter_thread ([&] {
        const std::string burst = "12.1\t12.0\r\n12.1\t12.0\r\n12.1\t12.0\r\n12.1\t12.0\r\n12.1\t12.0\r\n";
        while (! stop)
        {
            if (line.send (burst))
                sent += 5;
            std::this_thread::sleep_for (std::chrono::microseconds (500));
        }
    });
    const bool boards_flowing = pump_until ([&] { return package_size (canvas) > 50; });

    write_opc_file (canvas, "400\nN75:3=7\nN75:4=13\nN75:5=300\n");
    canvas.check_opc_output_file();
    // Some boards must arrive after the change: the new package holds more than the boards it was rebuilt from.
    const bool flowing_after = pump_until ([&] { return package_size (canvas) > static_cast<std::size_t> (per_file); });
    stop = true;
    meter_thread.join();
    ASSERT_TRUE (boards_flowing);
    ASSERT_TRUE (flowing_after);

    const std::string flushed = record ("7_012001.mc");
    const std::size_t before_change = std::stoul (flushed.substr (0, flushed.find (',')));
    const std::size_t stored_boards = static_cast<std::size_t> (files * per_file);
    ASSERT_TRUE (pump_until ([&] { return before_change + run_size (canvas) - stored_boards == sent; }))
        << "sent " << sent << ", counted " << before_change << " before the change and " << run_size (canvas) << " after";

    const ChannelFigures now = canvas.figures (BoardValues::included);
    const std::size_t after_change = now.run_count - stored_boards;
    EXPECT_GT (after_change, 0u);
    EXPECT_EQ (now.pkg_count, static_cast<std::size_t> (per_file) + after_change);
    EXPECT_EQ (std::count (now.run_values.begin(), now.run_values.end(), 20.5), files * per_file);
    EXPECT_EQ (std::count (now.pkg_values.begin(), now.pkg_values.end(), 20.5), per_file);
    const std::string current = record ("7_013300.mc");
    const std::string values_line = current.substr (current.find ("\r\n") + 2);
    EXPECT_EQ (values_line.rfind (stored.substr (0, stored.size() - 1), 0), 0u)
        << "the package file starts with the boards it held before the change";
}
} // namespace
