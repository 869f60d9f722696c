#pragma once

// The board history: every counted board, kept in one SQLite database per workstation for the reports.
//
// The reading threads hand boards over with add(), which only appends to an in-memory queue under a short
// lock and never touches the database. One writer thread owns the connection: it commits what is waiting in
// batches (WAL mode), removes rows past the retention a little at a time, and when the database cannot be
// opened or written it keeps the boards in memory (up to `queue_bound`; past it the oldest waiting boards
// are dropped and counted) and tries again every `retry_interval`. Plain C++: the monitor and command-line
// tools both link it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct BoardRecord
{
    std::int64_t time_ms = 0; // UTC, milliseconds since 1970
    std::string prefix;       // the device's settings prefix
    std::string device;       // the device's shown name
    double reading1 = 0.0;
    double reading2 = 0.0;
    double value = 0.0;
    std::int32_t kiln = 0;
    std::int32_t run = 0;
    std::int32_t package = 0;
};

struct BoardHistoryOptions
{
    std::string path;                 // the database file (UTF-8); a missing folder is created
    int retention_days = 730;         // rows older than this are removed; 0 or less keeps everything
    std::size_t queue_bound = 200000; // boards kept in memory while the database is away
    std::size_t batch_size = 4096;    // the most boards one transaction commits
    std::size_t prune_rows = 2000;    // the most old rows one retention transaction removes
    std::chrono::milliseconds retry_interval { 2000 };
    // Called on the writer thread with one line when the store fails (once per failure, with its reason), when
    // it recovers, and when boards are dropped past the bound.
    std::function<void (const std::string&)> log;
    // The clock retention compares against (UTC ms); the system clock when empty.
    std::function<std::int64_t()> now_ms;
};

struct BoardHistoryStatus
{
    bool failing = false;      // the last open or write failed and has not succeeded since
    std::string reason;        // why, while failing
    std::size_t waiting = 0;   // boards in memory, not yet committed
    std::uint64_t written = 0; // boards committed since start
    std::uint64_t dropped = 0; // boards dropped past the bound since start
    std::uint64_t pruned = 0;  // rows removed by the retention since start
};

class BoardHistory
{
public:
    explicit BoardHistory (BoardHistoryOptions options);
    // Commits what it can of the waiting boards (one attempt), then stops the writer.
    ~BoardHistory();

    BoardHistory (const BoardHistory&) = delete;
    BoardHistory& operator= (const BoardHistory&) = delete;

    // Never waits on the database.
    void add (BoardRecord board);
    BoardHistoryStatus status() const;

    // Waits until every board added before the call is committed, or the store is failing, or the timeout
    // passes; true when all were committed.
    bool flush (std::chrono::milliseconds timeout);

    // Waits until the status satisfies the condition or the timeout passes; the condition is checked after
    // every commit, failure and retention step. Returns the last status seen.
    BoardHistoryStatus wait_until (const std::function<bool (const BoardHistoryStatus&)>& condition,
                                   std::chrono::milliseconds timeout);

    // The database's schema; the report reads what it writes.
    static constexpr std::int32_t application_id = 0x56555242;
    static constexpr std::int32_t schema_version = 1;

private:
    struct Database;
    void writer_loop();
    bool ensure_open();
    bool write_batch (std::vector<BoardRecord>& batch);
    void prune_some();
    void fail (const std::string& reason);
    void recovered_if_failing();
    void log_unwritten_at_close();
    void requeue (std::vector<BoardRecord>& batch);
    std::int64_t now_ms() const;

    BoardHistoryOptions options;
    std::unique_ptr<Database> db; // writer thread only

    mutable std::mutex mutex;
    std::condition_variable wake;      // the writer waits for boards or the stop
    std::condition_variable progress;  // flush waits for commits
    std::deque<BoardRecord> queue;
    std::size_t in_flight = 0;
    std::uint64_t added = 0;
    // Boards leave in the order they came (committed, or dropped as the oldest waiting), so the first `done`
    // of the `added` boards are gone from memory.
    std::uint64_t done = 0;
    BoardHistoryStatus state;
    bool stopping = false;
    bool drop_logged = false;
    std::int64_t last_prune_ms = 0;
    bool prune_pending = true;

    std::thread writer;
};
