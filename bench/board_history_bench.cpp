// The board history's writer alone: how many boards a second it commits into a fresh database file, from
// the moment the first board is handed over until the last is committed. The line needs 8 meters at full
// rate, about 700 boards a second; the writer should keep up with 50 times that (35,000 boards a second).
// Only an optimised build (CMAKE_BUILD_TYPE=Release) gives meaningful figures.

#include "src-wnd/history/board_history.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
fs::path bench_folder()
{
    const char* tmp = std::getenv ("TMPDIR");
    auto dir = fs::path (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / ("vur-history-bench-" + std::to_string (::getpid()));
    fs::create_directories (dir);
    return dir;
}

void BM_HistoryWriter (benchmark::State& state)
{
    const auto boards = static_cast<int> (state.range (0));
    const auto dir = bench_folder();
    const std::string devices[] = { "planer1", "planer2", "planer3", "planer4", "moulder", "spare1", "spare2", "spare3" };
    for (auto _ : state)
    {
        state.PauseTiming();
        fs::remove_all (dir / "boards.sqlite");
        fs::remove_all (dir / "boards.sqlite-wal");
        fs::remove_all (dir / "boards.sqlite-shm");
        BoardHistoryOptions options;
        options.path = (dir / "boards.sqlite").string();
        options.queue_bound = static_cast<std::size_t> (boards) + 1;
        auto history = std::make_unique<BoardHistory> (options);
        // The database is created before the clock starts: the figure is the steady writing rate.
        history->flush (std::chrono::seconds (60));
        const std::int64_t t0 = 1765000000000;
        state.ResumeTiming();

        for (int i = 0; i < boards; ++i)
        {
            const auto& prefix = devices[i % 8];
            const double v = 8.0 + (i % 170) / 10.0;
            history->add (BoardRecord { t0 + i, prefix, prefix, v - 0.3, v + 0.3, v, 7, 100 + i / 20000, 1 + (i / 400) % 50 });
        }
        if (! history->flush (std::chrono::seconds (600)))
            state.SkipWithError (("not all boards were written: " + history->status().reason).c_str());

        state.PauseTiming();
        history.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed (state.iterations() * boards);
    fs::remove_all (dir);
}
} // namespace

BENCHMARK (BM_HistoryWriter)->Arg (200000)->Unit (benchmark::kMillisecond)->UseRealTime()->Iterations (3);

BENCHMARK_MAIN();
