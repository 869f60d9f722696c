#include "src-wnd/history/board_history.h"

#include "sqlite_rows.h"
#include "test_env.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <mutex>

namespace
{
using namespace std::chrono_literals;
constexpr auto generous = 30s;

BoardHistoryOptions options_for (const std::string& path)
{
    BoardHistoryOptions options;
    options.path = path;
    // The boards here are from 1970; only the retention test removes old rows.
    options.retention_days = 0;
    return options;
}

BoardRecord board (std::int64_t time_ms, int package, double value)
{
    return BoardRecord { time_ms, "planer1", "Planer #1", value - 0.5, value + 0.5, value, 7, 42, package };
}

// Everything the log was told, safe to read while the writer runs.
struct LogLines
{
    std::mutex mutex;
    std::vector<std::string> lines;

    std::function<void (const std::string&)> sink()
    {
        return [this] (const std::string& line) {
            std::lock_guard<std::mutex> guard (mutex);
            lines.push_back (line);
        };
    }
    std::vector<std::string> copy()
    {
        std::lock_guard<std::mutex> guard (mutex);
        return lines;
    }
};

// A second connection, as the report has: what is committed, read from the file.
struct Reader
{
    sqlite3* db = nullptr;
    explicit Reader (const std::string& path)
    {
        EXPECT_EQ (sqlite3_open_v2 (path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK) << path;
    }
    ~Reader() { sqlite3_close_v2 (db); }

    std::string text (const std::string& sql)
    {
        bool prepared = false;
        std::string rows = vurtest::sqlite_rows (db, sql, &prepared);
        EXPECT_TRUE (prepared) << sql << ": " << sqlite3_errmsg (db);
        return rows;
    }
};
} // namespace

TEST (BoardHistory, StoresEveryFieldOfEveryBoardInOrderWithItsSchema)
{
    const auto path = vurtest::makeTempDir ("history") + "/boards.sqlite";
    {
        BoardHistory history (options_for (path));
        history.add (BoardRecord { 1765000000123, "planer1", "Planer #1", 14.5, 15.5, 15.0, 3, 12, 4 });
        history.add (BoardRecord { 1765000000456, "moulder", "Moulder", 8.25, 9.75, 9.0, 5, 1, 2 });
        ASSERT_TRUE (history.flush (generous));
        EXPECT_EQ (history.status().written, 2u);
        EXPECT_FALSE (history.status().failing);
    }
    Reader r (path);
    EXPECT_EQ (r.text ("SELECT time_ms, prefix, device, reading1, reading2, value, kiln, run, package FROM boards ORDER BY id"),
               "1765000000123|planer1|Planer #1|14.5|15.5|15.0|3|12|4\n"
               "1765000000456|moulder|Moulder|8.25|9.75|9.0|5|1|2\n");
    EXPECT_EQ (r.text ("PRAGMA journal_mode"), "wal\n");
    EXPECT_EQ (r.text ("PRAGMA application_id"), std::to_string (BoardHistory::application_id) + "\n");
    EXPECT_EQ (r.text ("PRAGMA user_version"), std::to_string (BoardHistory::schema_version) + "\n");
    // The reports find a kiln's runs, a time span and a device through these.
    EXPECT_EQ (r.text ("SELECT name FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"),
               "boards_by_device\nboards_by_kiln_run\nboards_by_time\nruns_by_start\n");
    EXPECT_NE (r.text ("EXPLAIN QUERY PLAN SELECT value FROM boards WHERE kiln = 7 AND run = 42").find ("boards_by_kiln_run"),
               std::string::npos);
}

TEST (BoardHistory, EachRunsTotalsFollowItsBoardsAcrossBatches)
{
    const auto path = vurtest::makeTempDir ("history") + "/boards.sqlite";
    {
        auto options = options_for (path);
        options.batch_size = 3; // one run's boards span several transactions
        BoardHistory history (options);
        const double values[] = { 12.0, 14.0, 16.0, 9.0, 11.0 };
        for (int i = 0; i < 5; ++i)
            history.add (BoardRecord { 5000 - i * 10, "a", "A", 0, 0, values[i], 2, 8, 1 + i / 2 });
        history.add (BoardRecord { 7000, "a", "A", 0, 0, 20.0, 2, 9, 1 });
        history.add (BoardRecord { 6000, "a", "A", 0, 0, 18.0, 3, 8, 1 });
        ASSERT_TRUE (history.flush (generous));
    }
    EXPECT_EQ (Reader (path).text ("SELECT kiln, run, first_ms, last_ms, boards, sum, sum_squares FROM runs ORDER BY kiln, run"),
               "2|8|4960|5000|5|62.0|798.0\n"
               "2|9|7000|7000|1|20.0|400.0\n"
               "3|8|6000|6000|1|18.0|324.0\n");
}

TEST (BoardHistory, ClosingCommitsWhatIsStillWaiting)
{
    const auto path = vurtest::makeTempDir ("history") + "/boards.sqlite";
    {
        BoardHistory history (options_for (path));
        for (int i = 0; i < 10000; ++i)
            history.add (board (1000 + i, 1, 12.0));
    }
    EXPECT_EQ (Reader (path).text ("SELECT count(*), min(time_ms), max(time_ms) FROM boards"), "10000|1000|10999\n");
}

TEST (BoardHistory, UnwritableFolderIsLoggedOnceAndTheBoardsWaitUntilTheDatabaseComesBack)
{
    const auto dir = vurtest::makeTempDir ("history");
    // A regular file where the database's folder should be: nothing can be created until it is gone.
    const auto folder = dir + "/data";
    const auto path = folder + "/boards.sqlite";
    vurtest::writeFile (folder, "in the way");
    LogLines log;
    auto options = options_for (path);
    options.log = log.sink();
    options.retry_interval = 20ms;
    BoardHistory history (options);

    for (int i = 0; i < 5; ++i)
        history.add (board (1000 + i, 1, 12.0 + i));
    auto status = history.wait_until ([] (const BoardHistoryStatus& s) { return s.failing; }, generous);
    ASSERT_TRUE (status.failing);
    EXPECT_NE (status.reason.find ("unable to open"), std::string::npos) << status.reason;
    EXPECT_EQ (vurtest::readFile (folder), "in the way");
    EXPECT_EQ (status.waiting, 5u);
    EXPECT_FALSE (history.flush (1ms));

    // Several retries fail while the folder is missing; the log has heard of it once.
    for (int i = 5; i < 8; ++i)
        history.add (board (1000 + i, 1, 12.0 + i));
    EXPECT_TRUE (history.wait_until ([] (const BoardHistoryStatus& s) { return s.waiting == 8; }, generous).failing);
    ASSERT_EQ (log.copy().size(), 1u);
    EXPECT_NE (log.copy()[0].find (path), std::string::npos) << log.copy()[0];
    EXPECT_NE (log.copy()[0].find ("unable to open"), std::string::npos) << log.copy()[0];

    std::filesystem::remove (folder);
    status = history.wait_until ([] (const BoardHistoryStatus& s) { return s.written == 8; }, generous);
    EXPECT_EQ (status.written, 8u);
    EXPECT_FALSE (status.failing);
    EXPECT_TRUE (status.reason.empty());
    EXPECT_EQ (status.waiting, 0u);
    const auto lines = log.copy();
    ASSERT_EQ (lines.size(), 2u);
    EXPECT_NE (lines[1].find ("written again"), std::string::npos) << lines[1];
    EXPECT_EQ (Reader (path).text ("SELECT count(*) FROM boards"), "8\n");
    EXPECT_EQ (Reader (path).text ("SELECT group_concat(time_ms) FROM (SELECT time_ms FROM boards ORDER BY id)"),
               "1000,1001,1002,1003,1004,1005,1006,1007\n");
}

TEST (BoardHistory, PastTheBoundTheOldestWaitingBoardsAreDroppedAndCounted)
{
    const auto dir = vurtest::makeTempDir ("history");
    // A regular file where the folder should be: never writable.
    vurtest::writeFile (dir + "/data", "not a folder");
    LogLines log;
    auto options = options_for (dir + "/data/boards.sqlite");
    options.queue_bound = 5;
    options.log = log.sink();
    auto history = std::make_unique<BoardHistory> (options);
    for (int i = 0; i < 8; ++i)
        history->add (board (1000 + i, 1, 12.0));

    const auto status = history->wait_until ([] (const BoardHistoryStatus& s) { return s.failing; }, generous);
    EXPECT_EQ (status.waiting, 5u);
    EXPECT_EQ (status.dropped, 3u);
    auto lines = log.copy();
    EXPECT_EQ (std::count_if (lines.begin(), lines.end(), [] (const std::string& l) { return l.find ("dropped") != std::string::npos; }), 1);

    // Closing tries once more, and says what it could not write.
    history.reset();
    lines = log.copy();
    EXPECT_NE (lines.back().find ("5 boards could not be written before closing"), std::string::npos) << lines.back();
}

TEST (BoardHistory, RetentionRemovesOldRowsInSmallSteps)
{
    const auto path = vurtest::makeTempDir ("history") + "/boards.sqlite";
    const std::int64_t day = 86400000;
    const std::int64_t now = 1765000000000;
    {
        BoardHistory history (options_for (path));
        for (int i = 0; i < 7; ++i)
            history.add (board (now - 20 * day + i, 1, 12.0)); // past a 10-day retention
        history.add (BoardRecord { now - 30 * day, "a", "A", 0, 0, 12.0, 7, 41, 1 }); // a run wholly past it
        history.add (board (now - 10 * day + 1, 2, 12.0));     // just inside it
        history.add (board (now - 1, 2, 12.0));
        ASSERT_TRUE (history.flush (generous));
    }

    auto options = options_for (path);
    options.retention_days = 10;
    options.prune_rows = 2;
    options.now_ms = [now] { return now; };
    BoardHistory history (options);
    const auto status = history.wait_until ([] (const BoardHistoryStatus& s) { return s.pruned >= 8; }, generous);
    EXPECT_EQ (status.pruned, 8u);
    EXPECT_EQ (Reader (path).text ("SELECT count(*), min(package) FROM boards"), "2|2\n");
    // Run 42 still has boards inside the retention and keeps its totals; run 41's go with its boards.
    EXPECT_EQ (Reader (path).text ("SELECT run FROM runs"), "42\n");
}

TEST (BoardHistory, ADatabaseOfAnotherProgramIsNeverWritten)
{
    const auto path = vurtest::makeTempDir ("history") + "/boards.sqlite";
    {
        sqlite3* db = nullptr;
        ASSERT_EQ (sqlite3_open (path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ (sqlite3_exec (db, "CREATE TABLE recipes (name TEXT); INSERT INTO recipes VALUES ('bread');", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close (db);
    }
    BoardHistory history (options_for (path));
    history.add (board (1000, 1, 12.0));
    const auto status = history.wait_until ([] (const BoardHistoryStatus& s) { return s.failing; }, generous);
    EXPECT_NE (status.reason.find ("not a board history database"), std::string::npos) << status.reason;
    EXPECT_EQ (Reader (path).text ("SELECT name FROM sqlite_schema"), "recipes\n");
}
