#include "src-wnd/history/board_history.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

namespace
{
// Creates what is missing; an existing database of ours keeps its rows. The indexes serve the reports: a kiln's
// runs and packages, a time span, a device over a time span.
const char* const schema_sql = R"sql(
CREATE TABLE IF NOT EXISTS boards (
    id       INTEGER PRIMARY KEY,
    time_ms  INTEGER NOT NULL,
    prefix   TEXT    NOT NULL,
    device   TEXT    NOT NULL,
    reading1 REAL    NOT NULL,
    reading2 REAL    NOT NULL,
    value    REAL    NOT NULL,
    kiln     INTEGER NOT NULL,
    run      INTEGER NOT NULL,
    package  INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS boards_by_kiln_run ON boards (kiln, run, package);
CREATE INDEX IF NOT EXISTS boards_by_time ON boards (time_ms);
CREATE INDEX IF NOT EXISTS boards_by_device ON boards (prefix, time_ms);
CREATE TABLE IF NOT EXISTS runs (
    kiln        INTEGER NOT NULL,
    run         INTEGER NOT NULL,
    first_ms    INTEGER NOT NULL,
    last_ms     INTEGER NOT NULL,
    boards      INTEGER NOT NULL,
    sum         REAL    NOT NULL,
    sum_squares REAL    NOT NULL,
    PRIMARY KEY (kiln, run)
);
CREATE INDEX IF NOT EXISTS runs_by_start ON runs (kiln, first_ms);
)sql";

// A kiln's baseline needs the spread of its previous runs: kept per run as the boards are committed, so that
// a report reads 20 rows instead of 20 runs of boards.
const char* const run_upsert_sql =
    "INSERT INTO runs (kiln, run, first_ms, last_ms, boards, sum, sum_squares) VALUES (?, ?, ?, ?, ?, ?, ?)"
    " ON CONFLICT (kiln, run) DO UPDATE SET first_ms = min(first_ms, excluded.first_ms),"
    " last_ms = max(last_ms, excluded.last_ms), boards = boards + excluded.boards, sum = sum + excluded.sum,"
    " sum_squares = sum_squares + excluded.sum_squares";

struct RunTotals
{
    std::int64_t first_ms = 0;
    std::int64_t last_ms = 0;
    std::int64_t boards = 0;
    double sum = 0.0;
    double sum_squares = 0.0;
};

std::string error_of (sqlite3* handle, const char* what)
{
    return std::string (what) + ": " + (handle != nullptr ? sqlite3_errmsg (handle) : "out of memory");
}
} // namespace

struct BoardHistory::Database
{
    sqlite3* handle = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* prune = nullptr;
    sqlite3_stmt* upsert_run = nullptr;
    sqlite3_stmt* prune_runs = nullptr;

    ~Database()
    {
        sqlite3_finalize (insert);
        sqlite3_finalize (prune);
        sqlite3_finalize (upsert_run);
        sqlite3_finalize (prune_runs);
        sqlite3_close_v2 (handle);
    }

    bool exec (const char* sql, std::string& error)
    {
        char* message = nullptr;
        if (sqlite3_exec (handle, sql, nullptr, nullptr, &message) == SQLITE_OK)
            return true;
        error = message != nullptr ? message : sqlite3_errmsg (handle);
        sqlite3_free (message);
        return false;
    }
};

BoardHistory::BoardHistory (BoardHistoryOptions opts) : options (std::move (opts))
{
    options.batch_size = std::max<std::size_t> (options.batch_size, 1);
    options.queue_bound = std::max<std::size_t> (options.queue_bound, 1);
    options.prune_rows = std::max<std::size_t> (options.prune_rows, 1);
    writer = std::thread ([this] { writer_loop(); });
}

BoardHistory::~BoardHistory()
{
    {
        std::lock_guard<std::mutex> guard (mutex);
        stopping = true;
    }
    wake.notify_all();
    writer.join();
}

void BoardHistory::add (BoardRecord board)
{
    bool log_drop = false;
    {
        std::lock_guard<std::mutex> guard (mutex);
        queue.push_back (std::move (board));
        ++added;
        while (queue.size() + in_flight > options.queue_bound && ! queue.empty())
        {
            queue.pop_front();
            ++state.dropped;
            ++done;
            log_drop = ! drop_logged;
            drop_logged = true;
        }
        state.waiting = queue.size() + in_flight;
    }
    wake.notify_one();
    // The log is the caller's; it is told on the reading thread only once per failure, so this costs nothing
    // per board.
    if (log_drop && options.log)
        options.log ("board history: more than " + std::to_string (options.queue_bound)
                     + " boards waiting, the oldest are dropped");
}

BoardHistoryStatus BoardHistory::status() const
{
    std::lock_guard<std::mutex> guard (mutex);
    return state;
}

bool BoardHistory::flush (std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard (mutex);
    const auto target = added;
    progress.wait_for (guard, timeout, [&] { return done >= target || state.failing; });
    return done >= target && ! state.failing;
}

BoardHistoryStatus BoardHistory::wait_until (const std::function<bool (const BoardHistoryStatus&)>& condition,
                                             std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard (mutex);
    progress.wait_for (guard, timeout, [&] { return condition (state); });
    return state;
}

std::int64_t BoardHistory::now_ms() const
{
    if (options.now_ms)
        return options.now_ms();
    return std::chrono::duration_cast<std::chrono::milliseconds> (
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void BoardHistory::fail (const std::string& reason)
{
    db.reset();
    // Only the writer changes `failing`, so it can be read first and the line logged before anyone waiting
    // for the failure sees it.
    bool first = false;
    {
        std::lock_guard<std::mutex> guard (mutex);
        first = ! state.failing;
    }
    if (first && options.log)
        options.log ("board history " + options.path + " cannot be written, boards wait in memory: " + reason);
    {
        std::lock_guard<std::mutex> guard (mutex);
        state.failing = true;
        state.reason = reason;
    }
    progress.notify_all();
}

bool BoardHistory::ensure_open()
{
    if (db)
        return true;
    // The folder above the yearly record folders may not exist before the first record file is written.
    std::error_code ignored_error;
    const auto folder = std::filesystem::u8path (options.path).parent_path();
    if (! folder.empty())
        std::filesystem::create_directories (folder, ignored_error);

    auto fresh = std::make_unique<Database>();
    std::string error;
    const int rc = sqlite3_open_v2 (options.path.c_str(), &fresh->handle,
                                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
    {
        fail (error_of (fresh->handle, "open"));
        return false;
    }
    sqlite3_busy_timeout (fresh->handle, 2000);
    sqlite3_stmt* check = nullptr;
    std::int32_t app_id = 0;
    std::int32_t version = 0;
    std::int64_t tables = 0;
    if (sqlite3_prepare_v2 (fresh->handle,
                            "SELECT (SELECT application_id FROM pragma_application_id),"
                            " (SELECT user_version FROM pragma_user_version),"
                            " (SELECT count(*) FROM sqlite_schema)",
                            -1, &check, nullptr)
            != SQLITE_OK
        || sqlite3_step (check) != SQLITE_ROW)
    {
        error = error_of (fresh->handle, "open");
        sqlite3_finalize (check);
        fail (error);
        return false;
    }
    app_id = sqlite3_column_int (check, 0);
    version = sqlite3_column_int (check, 1);
    tables = sqlite3_column_int64 (check, 2);
    sqlite3_finalize (check);
    // A database some other program keeps is never written into.
    if (tables > 0 && (app_id != application_id || version != schema_version))
    {
        fail ("open: the file is not a board history database");
        return false;
    }
    // NORMAL is safe in WAL mode: a killed process loses nothing it committed; only a power cut may lose the
    // last commits, never the file's integrity.
    if (! fresh->exec ("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error)
        || ! fresh->exec ("BEGIN IMMEDIATE", error))
    {
        fail ("open: " + error);
        return false;
    }
    const std::string stamp = "PRAGMA application_id=" + std::to_string (application_id)
                              + "; PRAGMA user_version=" + std::to_string (schema_version) + ";";
    if (! fresh->exec (schema_sql, error) || ! fresh->exec (stamp.c_str(), error) || ! fresh->exec ("COMMIT", error))
    {
        std::string ignored;
        fresh->exec ("ROLLBACK", ignored);
        fail ("open: " + error);
        return false;
    }
    if (sqlite3_prepare_v2 (fresh->handle,
                            "INSERT INTO boards (time_ms, prefix, device, reading1, reading2, value, kiln, run, package)"
                            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                            -1, &fresh->insert, nullptr)
            != SQLITE_OK
        || sqlite3_prepare_v2 (fresh->handle,
                               "DELETE FROM boards WHERE id IN (SELECT id FROM boards WHERE time_ms < ? ORDER BY time_ms LIMIT ?)",
                               -1, &fresh->prune, nullptr)
               != SQLITE_OK
        || sqlite3_prepare_v2 (fresh->handle, run_upsert_sql, -1, &fresh->upsert_run, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2 (fresh->handle, "DELETE FROM runs WHERE last_ms < ?", -1, &fresh->prune_runs, nullptr) != SQLITE_OK)
    {
        fail (error_of (fresh->handle, "prepare"));
        return false;
    }
    db = std::move (fresh);
    return true;
}

bool BoardHistory::write_batch (std::vector<BoardRecord>& batch)
{
    // A statement that does not finish takes the whole batch back; the caller queues its boards again.
    const auto step_done = [] (sqlite3_stmt* statement) {
        const int rc = sqlite3_step (statement);
        sqlite3_reset (statement);
        return rc == SQLITE_DONE;
    };
    const auto abandon = [this] (const std::string& reason) {
        std::string ignored;
        db->exec ("ROLLBACK", ignored);
        fail (reason);
        return false;
    };
    std::string error;
    if (! db->exec ("BEGIN IMMEDIATE", error))
    {
        fail ("write: " + error);
        return false;
    }
    std::map<std::pair<std::int32_t, std::int32_t>, RunTotals> runs;
    for (const auto& b : batch)
    {
        auto& totals = runs[{ b.kiln, b.run }];
        totals.first_ms = totals.boards == 0 ? b.time_ms : std::min (totals.first_ms, b.time_ms);
        totals.last_ms = totals.boards == 0 ? b.time_ms : std::max (totals.last_ms, b.time_ms);
        ++totals.boards;
        totals.sum += b.value;
        totals.sum_squares += b.value * b.value;

        sqlite3_stmt* s = db->insert;
        sqlite3_bind_int64 (s, 1, b.time_ms);
        sqlite3_bind_text (s, 2, b.prefix.data(), static_cast<int> (b.prefix.size()), SQLITE_STATIC);
        sqlite3_bind_text (s, 3, b.device.data(), static_cast<int> (b.device.size()), SQLITE_STATIC);
        sqlite3_bind_double (s, 4, b.reading1);
        sqlite3_bind_double (s, 5, b.reading2);
        sqlite3_bind_double (s, 6, b.value);
        sqlite3_bind_int (s, 7, b.kiln);
        sqlite3_bind_int (s, 8, b.run);
        sqlite3_bind_int (s, 9, b.package);
        if (! step_done (s))
            return abandon (error_of (db->handle, "write"));
    }
    for (const auto& [key, totals] : runs)
    {
        sqlite3_stmt* s = db->upsert_run;
        sqlite3_bind_int (s, 1, key.first);
        sqlite3_bind_int (s, 2, key.second);
        sqlite3_bind_int64 (s, 3, totals.first_ms);
        sqlite3_bind_int64 (s, 4, totals.last_ms);
        sqlite3_bind_int64 (s, 5, totals.boards);
        sqlite3_bind_double (s, 6, totals.sum);
        sqlite3_bind_double (s, 7, totals.sum_squares);
        if (! step_done (s))
            return abandon (error_of (db->handle, "write"));
    }
    if (! db->exec ("COMMIT", error))
        return abandon ("write: " + error);
    return true;
}

void BoardHistory::prune_some()
{
    if (options.retention_days <= 0 || ! db)
        return;
    const std::int64_t cutoff = now_ms() - static_cast<std::int64_t> (options.retention_days) * 86400000;
    // One short transaction of at most prune_rows rows: the next one waits for the next idle moment, so
    // boards never queue behind a long delete.
    sqlite3_bind_int64 (db->prune, 1, cutoff);
    sqlite3_bind_int64 (db->prune, 2, static_cast<std::int64_t> (options.prune_rows));
    const int rc = sqlite3_step (db->prune);
    sqlite3_reset (db->prune);
    if (rc != SQLITE_DONE)
    {
        fail (error_of (db->handle, "retention"));
        return;
    }
    const auto removed = static_cast<std::size_t> (sqlite3_changes (db->handle));
    // The runs whose last board is past the retention go with their boards; there are few runs, and their
    // table is small.
    {
        sqlite3_bind_int64 (db->prune_runs, 1, cutoff);
        const int runs_rc = sqlite3_step (db->prune_runs);
        sqlite3_reset (db->prune_runs);
        if (runs_rc != SQLITE_DONE)
        {
            fail (error_of (db->handle, "retention"));
            return;
        }
    }
    prune_pending = removed >= options.prune_rows;
    last_prune_ms = now_ms();
    {
        std::lock_guard<std::mutex> guard (mutex);
        state.pruned += removed;
    }
    progress.notify_all();
}

void BoardHistory::recovered_if_failing()
{
    bool was_failing = false;
    {
        std::lock_guard<std::mutex> guard (mutex);
        was_failing = state.failing;
    }
    if (! was_failing)
        return;
    // Logged before the status changes, like the failure, so whoever sees the recovery finds it in the log.
    if (options.log)
        options.log ("board history " + options.path + " is written again");
    std::lock_guard<std::mutex> guard (mutex);
    state.failing = false;
    state.reason.clear();
}

void BoardHistory::requeue (std::vector<BoardRecord>& batch)
{
    std::lock_guard<std::mutex> guard (mutex);
    in_flight = 0;
    // The batch is older than anything queued since: it goes back in front, and past the bound its oldest
    // boards go first.
    std::size_t keep_from = 0;
    const std::size_t total = batch.size() + queue.size();
    if (total > options.queue_bound)
        keep_from = std::min (batch.size(), total - options.queue_bound);
    state.dropped += keep_from;
    done += keep_from;
    for (std::size_t i = batch.size(); i > keep_from; --i)
        queue.push_front (std::move (batch[i - 1]));
    state.waiting = queue.size();
    batch.clear();
}

void BoardHistory::log_unwritten_at_close()
{
    std::size_t left = 0;
    {
        std::lock_guard<std::mutex> guard (mutex);
        left = queue.size();
    }
    // The record files still hold these boards; the history will lack them.
    if (left > 0 && options.log)
        options.log ("board history " + options.path + ": " + std::to_string (left)
                     + " boards could not be written before closing");
}

void BoardHistory::writer_loop()
{
    std::vector<BoardRecord> batch;
    for (;;)
    {
        bool stop = false;
        {
            std::unique_lock<std::mutex> guard (mutex);
            const bool failing = state.failing;
            // Waiting for boards; while failing, for the next attempt; with old rows left, for a short idle pause.
            const auto pause = failing ? options.retry_interval
                                       : (prune_pending ? std::chrono::milliseconds (50) : std::chrono::milliseconds (60000));
            if (queue.empty() && ! stopping)
                wake.wait_for (guard, pause, [&] { return stopping || (! queue.empty() && ! failing); });
            else if (failing && ! stopping)
                wake.wait_for (guard, options.retry_interval, [&] { return stopping; });
            stop = stopping;
            const std::size_t take = std::min (queue.size(), options.batch_size);
            for (std::size_t i = 0; i < take; ++i)
            {
                batch.push_back (std::move (queue.front()));
                queue.pop_front();
            }
            in_flight = batch.size();
        }

        if (! ensure_open())
        {
            requeue (batch);
            if (stop)
                return log_unwritten_at_close();
            continue;
        }

        if (! batch.empty())
        {
            if (! write_batch (batch))
            {
                requeue (batch);
                if (stop)
                    return log_unwritten_at_close();
                continue;
            }
            recovered_if_failing();
            {
                std::lock_guard<std::mutex> guard (mutex);
                state.written += batch.size();
                done += batch.size();
                in_flight = 0;
                state.waiting = queue.size();
                if (queue.empty())
                    drop_logged = false;
            }
            progress.notify_all();
            batch.clear();
        }
        else
        {
            recovered_if_failing();
            {
                std::lock_guard<std::mutex> guard (mutex);
                in_flight = 0;
            }
            progress.notify_all();
        }

        bool more_waiting = false;
        {
            std::lock_guard<std::mutex> guard (mutex);
            more_waiting = ! queue.empty();
        }
        if (stop)
        {
            // One last attempt at everything left, then the rest is lost with the process.
            if (! more_waiting)
                return;
            continue;
        }
        if (! more_waiting && (prune_pending || now_ms() - last_prune_ms > 3600000))
            prune_some();
    }
}
