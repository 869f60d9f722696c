// vur-report against real board history files, written by the store the monitor uses.

#include "src-wnd/history/board_history.h"
#include "tools/report/report.h"

#include "test_env.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <filesystem>
#include <sstream>

namespace
{
constexpr std::int64_t day0 = 1764547200000; // 2025-12-01 00:00 UTC

struct Result
{
    int status;
    std::string out, err;
};

Result report (std::vector<std::string> args)
{
    std::ostringstream out, err;
    const int status = run_report (args, out, err);
    return { status, out.str(), err.str() };
}

// Boards of kiln 3: run 1 (packages 1 and 2) on day 0, run 2 (package 1) on day 1, and one board of kiln 4.
std::string small_database()
{
    const auto path = vurtest::makeTempDir ("report") + "/boards.sqlite";
    BoardHistoryOptions options;
    options.path = path;
    options.retention_days = 0;
    BoardHistory history (options);
    const auto add = [&] (std::int64_t t, const char* prefix, int kiln, int run, int package, double value) {
        history.add (BoardRecord { t, prefix, prefix, value, value, value, kiln, run, package });
    };
    // run 1, package 1: 8, 12, 14, 16; package 2: 20, 9.5
    int i = 0;
    for (const double v : { 8.0, 12.0, 14.0, 16.0 })
        add (day0 + 1000 * i++, "a", 3, 1, 1, v);
    for (const double v : { 20.0, 9.5 })
        add (day0 + 1000 * i++, "b", 3, 1, 2, v);
    for (const double v : { 15.0, 15.0, 16.0 })
        add (day0 + 86400000 + 1000 * i++, "a", 3, 2, 1, v);
    add (day0 + 1000 * i++, "a", 4, 1, 1, 30.0);
    EXPECT_TRUE (history.flush (std::chrono::seconds (30)));
    return path;
}

std::vector<std::string> lines_of (const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in (text);
    for (std::string line; std::getline (in, line);)
        lines.push_back (line);
    return lines;
}
} // namespace

TEST (Report, RowsPerRunOrPackageWithTheirFiguresAsTableAndCsv)
{
    const auto db = small_database();
    const auto dir = std::filesystem::path (db).parent_path().string();

    struct Case
    {
        std::vector<std::string> args;
        std::vector<std::string> csv; // without the header
    };
    const Case cases[] = {
        { { "--kiln", "3" },
          { "3,1,2025-12-01 00:00,6,13.25,4.40,8.00,12.00,20.00,16.7,33.3,-,-",
            "3,2,2025-12-02 00:00,3,15.33,0.58,15.00,15.00,16.00,0.0,0.0,4.40,0.13" } },
        { { "--kiln", "3", "--run", "1", "--by", "package" },
          { "3,1,1,2025-12-01 00:00,4,12.50,3.42,8.00,12.00,16.00,0.0,25.0",
            "3,1,2,2025-12-01 00:00,2,14.75,7.42,9.50,9.50,20.00,50.0,50.0" } },
        // Device b has only the second package of run 1; limits of the command line.
        { { "--device", "b", "--wet", "15", "--dry", "9.5" },
          { "3,1,2025-12-01 00:00,2,14.75,7.42,9.50,9.50,20.00,50.0,0.0,-,-" } },
        // From day 1 on: run 2 only, with run 1 still its baseline.
        { { "--kiln", "3", "--from", "2025-12-02" },
          { "3,2,2025-12-02 00:00,3,15.33,0.58,15.00,15.00,16.00,0.0,0.0,4.40,0.13" } },
        { { "--to", "2025-12-01T00:00:04" },
          { "3,1,2025-12-01 00:00,4,12.50,3.42,8.00,12.00,16.00,0.0,25.0,-,-" } },
    };
    int n = 0;
    for (const auto& c : cases)
    {
        const auto csv = dir + "/r" + std::to_string (n++) + ".csv";
        auto args = c.args;
        args.insert (args.begin(), db);
        args.insert (args.end(), { "--csv", csv });
        SCOPED_TRACE (args[1] + " " + args[2]);
        const auto r = report (args);
        ASSERT_EQ (r.status, 0) << r.err;
        EXPECT_EQ (r.err, "");
        // The table: a header and one line per row, the same cells as the CSV lined up.
        const auto table = lines_of (r.out);
        ASSERT_EQ (table.size(), c.csv.size() + 1) << r.out;
        EXPECT_NE (table[0].find ("p95"), std::string::npos);
        const auto file = lines_of (vurtest::readFile (csv));
        ASSERT_EQ (file.size(), c.csv.size() + 1);
        EXPECT_EQ (file[0].substr (0, 9), "kiln,run,");
        for (std::size_t i = 0; i < c.csv.size(); ++i)
        {
            EXPECT_EQ (file[i + 1], c.csv[i] + "\r");
            std::string cells = c.csv[i];
            std::replace (cells.begin(), cells.end(), ',', ' ');
            std::istringstream expected_cells (cells);
            for (std::string cell; expected_cells >> cell;)
                EXPECT_NE (table[i + 1].find (cell), std::string::npos) << cell << " in " << table[i + 1];
        }
    }
}

TEST (Report, TheBaselineIsTheMedianDeviationOfTheKilnsTwentyRunsBefore)
{
    const auto path = vurtest::makeTempDir ("report") + "/boards.sqlite";
    {
        BoardHistoryOptions options;
        options.path = path;
        options.retention_days = 0;
        BoardHistory history (options);
        // Runs 1..25, each two boards 15 - d and 15 + d, so that the run's deviation is d * sqrt(2); run 26
        // has deviation 3 * sqrt(2). The first five runs are wide and fall out of the last 20.
        for (int run = 1; run <= 26; ++run)
        {
            const double d = run <= 5 ? 9.0 : (run == 26 ? 3.0 : 0.5 + 0.05 * run);
            for (const double v : { 15.0 - d, 15.0 + d })
                history.add (BoardRecord { day0 + run * 3600000, "a", "a", v, v, v, 5, run, 1 });
        }
        ASSERT_TRUE (history.flush (std::chrono::seconds (30)));
    }
    const auto csv = std::filesystem::path (path).parent_path().string() + "/r.csv";
    const auto r = report ({ path, "--kiln", "5", "--run", "26", "--csv", csv });
    ASSERT_EQ (r.status, 0) << r.err;
    // Runs 6..25: d from 0.8 to 1.75, median of the 20 is between runs 15 and 16: (1.25 + 1.30) / 2.
    const double baseline = (1.25 + 1.30) / 2.0 * std::sqrt (2.0);
    char expected[64];
    std::snprintf (expected, sizeof (expected), ",%.2f,%.2f\r", baseline, 3.0 * std::sqrt (2.0) / baseline);
    const auto file = lines_of (vurtest::readFile (csv));
    ASSERT_EQ (file.size(), 2u);
    EXPECT_EQ (file[1].substr (file[1].size() - std::string (expected).size()), expected) << file[1];
}

// Two meters on the same kiln, run and package, one reading 3 points above the other: one meter's run is
// measured against that meter's earlier runs, not against both meters' boards together.
TEST (Report, TheBaselineOfOneDeviceIsThatDevicesOwn)
{
    const auto path = vurtest::makeTempDir ("report") + "/boards.sqlite";
    {
        BoardHistoryOptions options;
        options.path = path;
        options.retention_days = 0;
        BoardHistory history (options);
        for (int run = 1; run <= 3; ++run)
            for (const auto& [prefix, mean] : { std::pair { "a", 15.0 }, std::pair { "b", 18.0 } })
                for (const double v : { mean - 0.5, mean + 0.5 })
                    history.add (BoardRecord { day0 + run * 3600000, prefix, prefix, v, v, v, 5, run, 1 });
        ASSERT_TRUE (history.flush (std::chrono::seconds (30)));
    }
    const auto csv = std::filesystem::path (path).parent_path().string() + "/r.csv";
    const struct
    {
        std::vector<std::string> device;
        const char* tail;
    } cases[] = {
        { { "--device", "a" }, ",0.71,1.00\r" },
        { {}, ",1.83,1.00\r" }, // all meters: the run and its baseline both hold both meters' boards
    };
    for (const auto& c : cases)
    {
        std::vector<std::string> args { path, "--kiln", "5", "--run", "3", "--csv", csv };
        args.insert (args.end(), c.device.begin(), c.device.end());
        const auto r = report (args);
        ASSERT_EQ (r.status, 0) << r.err;
        const auto file = lines_of (vurtest::readFile (csv));
        ASSERT_EQ (file.size(), 2u);
        EXPECT_EQ (file[1].substr (file[1].size() - std::string (c.tail).size()), c.tail) << file[1];
    }
}

TEST (Report, EachFailureIsOneLineAndANonZeroStatus)
{
    const auto db = small_database();
    const auto dir = vurtest::makeTempDir ("bad");
    vurtest::writeFile (dir + "/empty.sqlite", "");
    vurtest::writeFile (dir + "/text.sqlite", "kiln;run;package\n3;1;1\n");
    vurtest::writeFile (dir + "/header.sqlite", vurtest::readFile (db).substr (0, 60));
    vurtest::writeFile (dir + "/truncated.sqlite", vurtest::readFile (db).substr (0, 2 * 4096));
    {
        sqlite3* other = nullptr;
        ASSERT_EQ (sqlite3_open ((dir + "/foreign.sqlite").c_str(), &other), SQLITE_OK);
        ASSERT_EQ (sqlite3_exec (other, "CREATE TABLE boards (value REAL); INSERT INTO boards VALUES (12.5);", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close (other);
    }
    struct Case
    {
        std::vector<std::string> args;
        int status;
        std::string line;
    };
    const Case cases[] = {
        { { dir + "/missing.sqlite" }, 1, "vur-report: no such file: " + dir + "/missing.sqlite" },
        { { dir + "/empty.sqlite" }, 1, "vur-report: " + dir + "/empty.sqlite is not a board history database" },
        { { dir + "/text.sqlite" }, 1, "vur-report: " + dir + "/text.sqlite cannot be read: file is not a database" },
        { { dir + "/header.sqlite" }, 1, "vur-report: " + dir + "/header.sqlite is not a board history database" },
        { { dir + "/truncated.sqlite" }, 1, "vur-report: " + dir + "/truncated.sqlite cannot be read: database disk image is malformed" },
        { { dir + "/foreign.sqlite" }, 1, "vur-report: " + dir + "/foreign.sqlite is not a board history database" },
        { { db, "--kiln", "3", "--run", "99" }, 1, "vur-report: no boards for kiln 3 run 99" },
        { { db, "--device", "zz" }, 1, "vur-report: no boards for device zz" },
        { { db, "--run", "1" }, 2, "vur-report: --run needs --kiln: run numbers start again in every kiln" },
        { { db, "--kiln", "three" }, 2, "vur-report: --kiln needs a whole number, not \"three\"" },
        { { db, "--from", "yesterday" }, 2, "vur-report: --from needs a time such as 2026-12-01, 2026-12-01T06:00 or milliseconds, not \"yesterday\"" },
        { { db, "--to", "2026-02-31" }, 2, "vur-report: --to needs a time such as 2026-12-01, 2026-12-01T06:00 or milliseconds, not \"2026-02-31\"" },
        { { db, "--from", "2026-12-01T-1:00" }, 2, "vur-report: --from needs a time such as 2026-12-01, 2026-12-01T06:00 or milliseconds, not \"2026-12-01T-1:00\"" },
        { { db, "--png", db }, 2, "vur-report: --png names the database itself or one of its files: \"" + db + "\"" },
        { { db, "--csv", db + "-wal" }, 2, "vur-report: --csv names the database itself or one of its files: \"" + db + "-wal\"" },
        { { db, "--by", "shift" }, 2, "vur-report: --by takes run or package, not \"shift\"" },
        { { db, "--csv" }, 2, "vur-report: --csv needs a value" },
        { { db, "--colour" }, 2, "vur-report: unknown option --colour (see vur-report --help)" },
        { {}, 2, "vur-report: no database named (see vur-report --help)" },
        { { db, "--csv", dir + "/no/such/folder/r.csv" }, 1, "vur-report: the CSV file " + dir + "/no/such/folder/r.csv cannot be written" },
    };
    for (const auto& c : cases)
    {
        const auto r = report (c.args);
        EXPECT_EQ (r.status, c.status) << c.line;
        EXPECT_EQ (r.err, c.line + "\n");
        // Nothing half-printed before the error, except the table before a file that cannot be written.
        if (c.line.find ("cannot be written") == std::string::npos)
        {
            EXPECT_EQ (r.out, "") << c.line;
        }
    }
    // The database is as it was, and a leap day is a day.
    EXPECT_EQ (report ({ db }).status, 0);
    EXPECT_EQ (report ({ db, "--to", "2028-02-29T23:59" }).status, 0);
}

TEST (Report, PngHoldsTheHistogramAndTheTrend)
{
    const auto db = small_database();
    const auto png = std::filesystem::path (db).parent_path().string() + "/run.png";
    const auto r = report ({ db, "--kiln", "3", "--png", png });
    ASSERT_EQ (r.status, 0) << r.err;
    const auto bytes = vurtest::readFile (png);
    ASSERT_GT (bytes.size(), 24u);
    EXPECT_EQ (bytes.substr (1, 3), "PNG");
    // Width and height from the IHDR chunk (big-endian).
    const auto be32 = [&] (std::size_t at) {
        return (static_cast<unsigned> (static_cast<unsigned char> (bytes[at])) << 24) | (static_cast<unsigned> (static_cast<unsigned char> (bytes[at + 1])) << 16)
               | (static_cast<unsigned> (static_cast<unsigned char> (bytes[at + 2])) << 8) | static_cast<unsigned> (static_cast<unsigned char> (bytes[at + 3]));
    };
    EXPECT_EQ (be32 (16), 900u);
    EXPECT_EQ (be32 (20), 520u);
}

TEST (Report, HelpNamesEveryOptionWithExamples)
{
    const auto r = report ({ "--help" });
    EXPECT_EQ (r.status, 0);
    EXPECT_EQ (r.err, "");
    for (const char* part : { "--kiln", "--run", "--device", "--from", "--to", "--by", "--wet", "--dry", "--csv", "--png",
                              "examples:", "vur-report boards.sqlite --kiln 3 --run 118" })
        EXPECT_NE (r.out.find (part), std::string::npos) << part;
}
