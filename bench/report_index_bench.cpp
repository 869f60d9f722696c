// A run's report from a history of 10 million boards against the same report from a database that holds
// only that run: with the indexes, the large one may take at most 3 times as long. Prints both times and the
// ratio at the end (best of several repetitions each, since the machine is shared).
//
// The large database is built once with the monitor's own store (about 1.5 GB, a few minutes) into
// $VUR_BENCH_DIR or the temporary folder, and kept there for the next run. Only an optimised build
// (CMAKE_BUILD_TYPE=Release) gives meaningful figures.

#include "src-wnd/history/board_history.h"
#include "tools/report/report.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace
{
constexpr std::int64_t total_boards = 10000000;
constexpr int kilns = 10;
constexpr int boards_per_run = 5000;   // 10 packages of 500
constexpr int target_kiln = 4;
constexpr int target_run = 150;        // in the middle of the history
constexpr std::int64_t start_ms = 1700000000000;

fs::path folder()
{
    const char* dir = std::getenv ("VUR_BENCH_DIR");
    const char* tmp = std::getenv ("TMPDIR");
    return fs::path (dir != nullptr && *dir != '\0' ? dir : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp")) / "vur-report-index-bench";
}

// The boards arrive as a line would count them: one run after the other, round the kilns, 1.2 s apart.
void build (const fs::path& path, bool only_target)
{
    fs::remove (path);
    fs::remove (path.string() + "-wal");
    fs::remove (path.string() + "-shm");
    BoardHistoryOptions options;
    options.path = path.string();
    options.retention_days = 0;
    options.queue_bound = 1000000;
    BoardHistory history (options);
    for (std::int64_t i = 0; i < total_boards; ++i)
    {
        const auto run_index = i / boards_per_run;
        const int kiln = static_cast<int> (run_index % kilns) + 1;
        const int run = static_cast<int> (run_index / kilns) + 1;
        if (only_target && (kiln != target_kiln || run != target_run))
            continue;
        const double value = 9.0 + static_cast<double> ((i * 7919) % 130) / 10.0;
        history.add (BoardRecord { start_ms + i * 1200, "a", "Planer #1", value, value, value, kiln, run,
                                   static_cast<int> ((i % boards_per_run) / 500) + 1 });
        if (i % 500000 == 0 && ! only_target)
        {
            history.flush (std::chrono::minutes (10));
            std::cerr << "\r" << i / 100000 << "% of the large database written" << std::flush;
        }
    }
    if (! history.flush (std::chrono::minutes (10)))
        std::cerr << "the database could not be written: " << history.status().reason << "\n";
}

fs::path database (bool large)
{
    const auto dir = folder();
    fs::create_directories (dir);
    const auto path = dir / (large ? "large.sqlite" : "one-run.sqlite");
    const auto done = dir / (large ? "large.done" : "one-run.done");
    if (! fs::exists (done))
    {
        build (path, ! large);
        std::ofstream (done) << "complete\n";
    }
    return path;
}

void report_of (benchmark::State& state, bool large)
{
    const auto path = database (large).string();
    for (auto _ : state)
    {
        std::ostringstream out, err;
        const int status = run_report ({ path, "--kiln", std::to_string (target_kiln), "--run", std::to_string (target_run) }, out, err);
        if (status != 0)
        {
            state.SkipWithError (err.str().c_str());
            break;
        }
        benchmark::DoNotOptimize (out.str());
    }
}

void BM_RunReportOneRunDatabase (benchmark::State& state) { report_of (state, false); }
void BM_RunReportTenMillionBoards (benchmark::State& state) { report_of (state, true); }
} // namespace

BENCHMARK (BM_RunReportOneRunDatabase)->Unit (benchmark::kMillisecond)->Repetitions (5)->ReportAggregatesOnly (false);
BENCHMARK (BM_RunReportTenMillionBoards)->Unit (benchmark::kMillisecond)->Repetitions (5)->ReportAggregatesOnly (false);

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    vurbench::BestTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    const auto small = reporter.best["BM_RunReportOneRunDatabase"];
    const auto large = reporter.best["BM_RunReportTenMillionBoards"];
    if (small > 0.0)
        std::printf ("run report: one-run database %.3f ms, 10 million boards %.3f ms, ratio %.2f (at most 3)\n", small, large,
                     large / small);
    benchmark::Shutdown();
    return small > 0.0 && large / small <= 3.0 ? 0 : 1;
}
