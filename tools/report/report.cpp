#include "tools/report/report.h"

#include "src-wnd/history/board_history.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace
{
constexpr std::size_t baseline_runs = 20;

const char* const help_text = R"(vur-report - run and package reports from the monitor's board history

usage: vur-report DATABASE [options]

Reads the board history (boards.sqlite beside the yearly record folders) without changing it; the monitor
may go on writing meanwhile. Prints one row per run (or per package) of the boards chosen: count, mean,
sample deviation, 5th/50th/95th percentiles (nearest rank), the shares of wet and dry boards, and for each
run the kiln's baseline (the median deviation of the kiln's 20 runs before it) and the run's deviation as a
multiple of it: a run far above 1 had wet and dry zones in the kiln.

options:
  --kiln N          only kiln N
  --run N           only run N (needs --kiln)
  --device PREFIX   only the boards of the device with this settings prefix, measured against that device's
                    own earlier runs (without it a row holds the boards of every device)
  --from TIME       only boards from TIME on (UTC: 2026-12-01, 2026-12-01T06:00, or milliseconds since 1970)
  --to TIME         only boards before TIME
  --by run|package  one row per run (the default) or per package
  --wet PCT         wet limit for the wet share (default 19.0)
  --dry PCT         dry limit for the dry share (default 10.0)
  --csv FILE        also write the rows as CSV
  --png FILE        also write a PNG chart: the histogram and the trend of the chosen boards
  --help            this text

examples:
  vur-report ~/22m2k/data/boards.sqlite --kiln 3
  vur-report boards.sqlite --kiln 3 --run 118 --by package --csv run118.csv --png run118.png
  vur-report boards.sqlite --device a --from 2026-12-01 --to 2026-12-08
  vur-report 'C:\22m2k\data\boards.sqlite' --kiln 2 --from 2026-11-01T06:00 --csv november.csv

exit status: 0 with a report, 1 when the database cannot be read or holds no boards that match, 2 for
wrong arguments.
)";

struct Options
{
    std::string database;
    std::optional<std::int32_t> kiln, run;
    std::optional<std::string> device;
    std::optional<std::int64_t> from, to;
    bool by_package = false;
    MoistureLimits limits;
    std::optional<std::string> csv, png;
    bool help = false;
};

struct UsageError
{
    std::string text;
};

int days_in_month (int y, int m)
{
    static constexpr int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

std::int64_t days_from_civil (std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned> (y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t> (doe) - 719468;
}

std::optional<std::int64_t> parse_time (const std::string& text)
{
    if (! text.empty() && std::all_of (text.begin(), text.end(), [] (char c) { return c >= '0' && c <= '9'; }))
    {
        if (text.size() > 15)
            return std::nullopt;
        return std::stoll (text);
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep = 0;
    int consumed = 0;
    const int fields = std::sscanf (text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &y, &mo, &d, &consumed, &sep, &h, &mi, &consumed, &s, &consumed);
    if (fields < 3 || static_cast<std::size_t> (consumed) != text.size() || (fields > 3 && sep != 'T' && sep != ' ')
        || mo < 1 || mo > 12 || d < 1 || d > days_in_month (y, mo) || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59
        || fields == 4)
        return std::nullopt;
    return ((days_from_civil (y, static_cast<unsigned> (mo), static_cast<unsigned> (d)) * 24 + h) * 60 + mi) * 60000LL + s * 1000LL;
}

std::int32_t parse_number (const std::string& option, const std::string& text)
{
    char* end = nullptr;
    const long value = std::strtol (text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
        throw UsageError { option + " needs a whole number, not \"" + text + "\"" };
    return static_cast<std::int32_t> (value);
}

double parse_pct (const std::string& option, const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod (text.c_str(), &end);
    if (text.empty() || *end != '\0' || ! std::isfinite (value))
        throw UsageError { option + " needs a number, not \"" + text + "\"" };
    return value;
}

// The monitor goes on writing the database while a report is made: an output written over it, or over its
// journal, would lose every board the monitor writes afterwards.
bool names_the_database (const std::string& output, const std::string& database)
{
    namespace fs = std::filesystem;
    const auto resolved = [] (const std::string& name) {
        std::error_code ec;
        fs::path path = fs::weakly_canonical (fs::u8path (name), ec);
        return ec ? fs::absolute (fs::u8path (name), ec).lexically_normal() : path;
    };
    const fs::path target = resolved (output);
    const fs::path base = resolved (database);
    for (const char* suffix : { "", "-wal", "-shm", "-journal" })
    {
        fs::path file = base;
        file += suffix;
        std::error_code ec;
        if (target == file || fs::equivalent (target, file, ec))
            return true;
    }
    return false;
}

Options parse (const std::vector<std::string>& args)
{
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& a = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError { a + " needs a value" };
            return args[++i];
        };
        if (a == "--help" || a == "-h")
            o.help = true;
        else if (a == "--kiln")
            o.kiln = parse_number (a, value());
        else if (a == "--run")
            o.run = parse_number (a, value());
        else if (a == "--device")
            o.device = value();
        else if (a == "--from" || a == "--to")
        {
            const auto t = parse_time (value());
            if (! t)
                throw UsageError { a + " needs a time such as 2026-12-01, 2026-12-01T06:00 or milliseconds, not \"" + args[i] + "\"" };
            (a == "--from" ? o.from : o.to) = t;
        }
        else if (a == "--by")
        {
            const auto& by = value();
            if (by != "run" && by != "package")
                throw UsageError { "--by takes run or package, not \"" + by + "\"" };
            o.by_package = by == "package";
        }
        else if (a == "--wet")
            o.limits.wet_pct = parse_pct (a, value());
        else if (a == "--dry")
            o.limits.dry_pct = parse_pct (a, value());
        else if (a == "--csv")
            o.csv = value();
        else if (a == "--png")
            o.png = value();
        else if (! a.empty() && a[0] == '-')
            throw UsageError { "unknown option " + a + " (see vur-report --help)" };
        else if (o.database.empty())
            o.database = a;
        else
            throw UsageError { "one database only: \"" + a + "\" is one too many" };
    }
    if (o.help)
        return o;
    if (o.database.empty())
        throw UsageError { "no database named (see vur-report --help)" };
    if (o.run && ! o.kiln)
        throw UsageError { "--run needs --kiln: run numbers start again in every kiln" };
    for (const auto& [option, output] : { std::pair { "--csv", o.csv }, std::pair { "--png", o.png } })
        if (output && names_the_database (*output, o.database))
            throw UsageError { std::string (option) + " names the database itself or one of its files: \"" + *output + "\"" };
    return o;
}

struct DataError
{
    std::string text;
};

struct Connection
{
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close_v2 (db); }
};

struct Statement
{
    sqlite3_stmt* s = nullptr;
    Statement (sqlite3* db, const std::string& sql, const std::string& what)
    {
        if (sqlite3_prepare_v2 (db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            throw DataError { what + " cannot be read: " + sqlite3_errmsg (db) };
    }
    ~Statement() { sqlite3_finalize (s); }
};

void open_database (Connection& c, const std::string& path)
{
    std::error_code ec;
    if (! std::filesystem::is_regular_file (std::filesystem::u8path (path), ec))
        throw DataError { "no such file: " + path };
    if (sqlite3_open_v2 (path.c_str(), &c.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw DataError { path + " cannot be opened: " + sqlite3_errmsg (c.db) };
    sqlite3_busy_timeout (c.db, 5000);
    sqlite3_stmt* s = nullptr;
    std::int64_t app_id = 0;
    if (sqlite3_prepare_v2 (c.db, "PRAGMA application_id", -1, &s, nullptr) != SQLITE_OK || sqlite3_step (s) != SQLITE_ROW)
    {
        const std::string reason = sqlite3_errmsg (c.db);
        sqlite3_finalize (s);
        // SQLite's own words tell a foreign file ("file is not a database") from a damaged one.
        throw DataError { path + " cannot be read: " + reason };
    }
    app_id = sqlite3_column_int64 (s, 0);
    sqlite3_finalize (s);
    if (app_id != BoardHistory::application_id)
        throw DataError { path + " is not a board history database" };
}

std::vector<ReportRow> read_rows (sqlite3* db, const Options& o)
{
    std::string sql = "SELECT kiln, run, package, time_ms, value FROM boards WHERE 1";
    if (o.kiln)
        sql += " AND kiln = " + std::to_string (*o.kiln);
    if (o.run)
        sql += " AND run = " + std::to_string (*o.run);
    if (o.device)
        sql += " AND prefix = ?1";
    if (o.from)
        sql += " AND time_ms >= " + std::to_string (*o.from);
    if (o.to)
        sql += " AND time_ms < " + std::to_string (*o.to);
    sql += " ORDER BY kiln, run, package, id";
    Statement st (db, sql, o.database);
    if (o.device)
        sqlite3_bind_text (st.s, 1, o.device->c_str(), -1, SQLITE_TRANSIENT);

    std::vector<ReportRow> rows;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step (st.s)) == SQLITE_ROW)
    {
        const auto kiln = sqlite3_column_int (st.s, 0);
        const auto run = sqlite3_column_int (st.s, 1);
        const auto package = sqlite3_column_int (st.s, 2);
        const std::int64_t time = sqlite3_column_int64 (st.s, 3);
        const double value = sqlite3_column_double (st.s, 4);
        if (rows.empty() || rows.back().kiln != kiln || rows.back().run != run
            || (o.by_package && rows.back().package != package))
        {
            ReportRow row;
            row.kiln = kiln;
            row.run = run;
            if (o.by_package)
                row.package = package;
            row.first_ms = row.last_ms = time;
            rows.push_back (row);
        }
        auto& row = rows.back();
        row.first_ms = std::min (row.first_ms, time);
        row.last_ms = std::max (row.last_ms, time);
        row.values.push_back (value);
    }
    if (rc != SQLITE_DONE)
        throw DataError { o.database + " cannot be read: " + sqlite3_errmsg (db) };
    for (auto& row : rows)
        row.figures = summarize (row.values, o.limits);
    return rows;
}

// The sample deviations of the kiln's runs that started before `before`, oldest first: of all devices from
// the run totals the store keeps (20 rows through the index however long the history), or of one device from
// its own boards, since the run totals hold every device's; then only the kiln's latest runs are looked at,
// so that the work stays bounded too.
std::vector<double> previous_deviations (sqlite3* db, const std::string& what, std::int32_t kiln, std::int32_t run,
                                         std::int64_t before, const std::optional<std::string>& device)
{
    const std::string limit = " LIMIT " + std::to_string (baseline_runs);
    Statement st (db,
                  device ? "SELECT COUNT(*), SUM(value), SUM(value * value) FROM boards WHERE kiln = ?1 AND prefix = ?4 AND run IN"
                           " (SELECT run FROM runs WHERE kiln = ?1 AND run != ?3 AND first_ms < ?2 ORDER BY first_ms DESC LIMIT "
                               + std::to_string (2 * baseline_runs) + ") GROUP BY run HAVING COUNT(*) > 1 ORDER BY MIN(time_ms) DESC" + limit
                         : "SELECT boards, sum, sum_squares FROM runs WHERE kiln = ?1 AND run != ?3 AND first_ms < ?2 AND boards > 1"
                           " ORDER BY first_ms DESC" + limit,
                  what);
    sqlite3_bind_int (st.s, 1, kiln);
    sqlite3_bind_int64 (st.s, 2, before);
    // A report of some of a run's boards starts after the run did: the run is never its own baseline.
    sqlite3_bind_int (st.s, 3, run);
    if (device)
        sqlite3_bind_text (st.s, 4, device->c_str(), -1, SQLITE_TRANSIENT);
    std::vector<double> deviations;
    while (sqlite3_step (st.s) == SQLITE_ROW)
    {
        const double n = sqlite3_column_double (st.s, 0);
        const double s1 = sqlite3_column_double (st.s, 1);
        const double s2 = sqlite3_column_double (st.s, 2);
        deviations.push_back (std::sqrt (std::max (0.0, (s2 - s1 * s1 / n) / (n - 1.0))));
    }
    std::reverse (deviations.begin(), deviations.end());
    return deviations;
}

std::string fixed (double v, int decimals = 2)
{
    char text[48];
    std::snprintf (text, sizeof (text), "%.*f", decimals, v);
    return text;
}

std::string utc_text (std::int64_t ms)
{
    const std::int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t rest = seconds - days * 86400;
    // civil_from_days
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned> (days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t> (yoe) + era * 400 + (m <= 2);
    char text[96];
    std::snprintf (text, sizeof (text), "%04lld-%02u-%02u %02lld:%02lld", static_cast<long long> (y), m, d,
                   static_cast<long long> (rest / 3600), static_cast<long long> (rest / 60 % 60));
    return text;
}

std::vector<std::string> header (bool by_package)
{
    std::vector<std::string> h { "kiln", "run" };
    if (by_package)
        h.push_back ("package");
    for (const char* c : { "first (UTC)", "boards", "mean", "sd", "p5", "p50", "p95", "wet %", "dry %" })
        h.emplace_back (c);
    if (! by_package)
        for (const char* c : { "baseline sd", "sd / baseline" })
            h.emplace_back (c);
    return h;
}

std::vector<std::string> cells (const ReportRow& r)
{
    std::vector<std::string> c { std::to_string (r.kiln), std::to_string (r.run) };
    if (r.package)
        c.push_back (std::to_string (*r.package));
    const auto& f = r.figures;
    c.push_back (utc_text (r.first_ms));
    c.push_back (std::to_string (f.count));
    for (const double v : { f.mean, f.deviation, f.p5, f.p50, f.p95 })
        c.push_back (fixed (v));
    c.push_back (fixed (f.wet_share * 100.0, 1));
    c.push_back (fixed (f.dry_share * 100.0, 1));
    if (! r.package)
    {
        c.push_back (r.baseline ? fixed (*r.baseline) : "-");
        c.push_back (r.baseline && *r.baseline > 0.0 ? fixed (f.deviation / *r.baseline) : "-");
    }
    return c;
}

void print_table (std::ostream& out, const std::vector<ReportRow>& rows, bool by_package)
{
    std::vector<std::vector<std::string>> table { header (by_package) };
    for (const auto& r : rows)
        table.push_back (cells (r));
    std::vector<std::size_t> widths (table[0].size(), 0);
    for (const auto& line : table)
        for (std::size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max (widths[i], line[i].size());
    for (const auto& line : table)
    {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i)
            text += (i > 0 ? "  " : "") + std::string (widths[i] - line[i].size(), ' ') + line[i];
        out << text << "\n";
    }
}

std::string csv_field (const std::string& text)
{
    if (text.find_first_of (",\"\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string ("\"\"") : std::string (1, c);
    return quoted + "\"";
}

void write_csv (const std::string& path, const std::vector<ReportRow>& rows, bool by_package)
{
    std::ofstream file (std::filesystem::u8path (path), std::ios::binary);
    const auto line = [&] (const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            file << (i > 0 ? "," : "") << csv_field (fields[i]);
        file << "\r\n";
    };
    line (header (by_package));
    for (const auto& r : rows)
        line (cells (r));
    file.flush();
    if (! file)
        throw DataError { "the CSV file " + path + " cannot be written" };
}

std::string what_was_asked (const Options& o)
{
    std::string text;
    if (o.kiln)
        text += " kiln " + std::to_string (*o.kiln);
    if (o.run)
        text += " run " + std::to_string (*o.run);
    if (o.device)
        text += " device " + *o.device;
    if (o.from)
        text += " from " + utc_text (*o.from);
    if (o.to)
        text += " before " + utc_text (*o.to);
    return text.empty() ? " this database" : text;
}
} // namespace

int run_report (const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Options o;
    try
    {
        o = parse (args);
    }
    catch (const UsageError& e)
    {
        err << "vur-report: " << e.text << "\n";
        return 2;
    }
    if (o.help)
    {
        out << help_text;
        return 0;
    }
    try
    {
        Connection c;
        open_database (c, o.database);
        auto rows = read_rows (c.db, o);
        if (rows.empty())
            throw DataError { "no boards for" + what_was_asked (o) };
        if (! o.by_package)
            for (auto& r : rows)
                r.baseline = kiln_baseline (previous_deviations (c.db, o.database, r.kiln, r.run, r.first_ms, o.device), baseline_runs);
        print_table (out, rows, o.by_package);
        if (o.csv)
            write_csv (*o.csv, rows, o.by_package);
        if (o.png && ! write_report_png (rows, o.limits, *o.png))
            throw DataError { "the PNG file " + *o.png + " cannot be written" };
        return 0;
    }
    catch (const DataError& e)
    {
        err << "vur-report: " << e.text << "\n";
        return 1;
    }
}
