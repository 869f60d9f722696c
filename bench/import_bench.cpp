// Import of a worst-case run (999 package files of 1500 boards) against `cat` of the same files.
// Prints both times and their ratio at the end: the best of five repetitions each, since the machine is
// shared. Only an optimised build (CMAKE_BUILD_TYPE=Release) gives meaningful figures.

#include "src-wnd/core/board_stats.h"
#include "src-wnd/core/record_format.h"
#include "src-wnd/core/record_import.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace
{
using vurbench::boards_per_package;
using vurbench::current_pkg;
using vurbench::kiln;
using vurbench::run;

struct RunFolder
{
    std::string dir;
    std::string cat_command;

    RunFolder()
    {
        dir = (fs::temp_directory_path() / ("vur-import-bench-" + std::to_string (std::random_device {}()))).string();
        cat_command = "cat";
        for (const auto& path : vurbench::write_run_files (dir))
            cat_command += " '" + path + "'";
        cat_command += " > /dev/null";
    }

    ~RunFolder()
    {
        std::error_code ignored;
        fs::remove_all (dir, ignored);
    }
};

RunFolder& run_folder()
{
    static RunFolder folder;
    return folder;
}

// The import loop as a channel runs it, without its log lines.
void import_run (BoardBucket& run_bucket, BoardBucket& pkg_bucket)
{
    const std::string& dir = run_folder().dir;
    bool first_or_after_load = true;
    for (const int p : import_package_order (current_pkg))
    {
        const std::string path = dir + "/" + record_file_name (kiln, run, p);
        if (first_or_after_load)
        {
            pkg_bucket.reset();
            first_or_after_load = false;
        }
        std::error_code error;
        if (! fs::is_regular_file (path, error))
            continue;
        first_or_after_load = true;
        import_record_values (read_record_values_line (path), run_bucket, pkg_bucket);
        run_bucket.recompute_average();
        pkg_bucket.recompute_average();
    }
}

void BM_ImportRun (benchmark::State& state)
{
    run_folder();
    // A channel keeps its buckets and empties them before each import.
    BoardBucket run_bucket;
    BoardBucket pkg_bucket;
    for (auto _ : state)
    {
        run_bucket.reset();
        pkg_bucket.reset();
        import_run (run_bucket, pkg_bucket);
        benchmark::DoNotOptimize (run_bucket.values.data());
        if (run_bucket.size() != 999u * boards_per_package || pkg_bucket.size() != boards_per_package)
            state.SkipWithError ("import lost boards");
    }
}
BENCHMARK (BM_ImportRun)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);

// The first import after start, into buckets that have never held a run: their memory is new.
void BM_ImportRunFreshBuckets (benchmark::State& state)
{
    run_folder();
    for (auto _ : state)
    {
        BoardBucket run_bucket;
        BoardBucket pkg_bucket;
        import_run (run_bucket, pkg_bucket);
        benchmark::DoNotOptimize (run_bucket.values.data());
    }
}
BENCHMARK (BM_ImportRunFreshBuckets)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);

void BM_CatRun (benchmark::State& state)
{
    const std::string& command = run_folder().cat_command;
    for (auto _ : state)
        if (std::system (command.c_str()) != 0)
            state.SkipWithError ("cat failed");
}
BENCHMARK (BM_CatRun)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);

// The two summary log lines that follow an import list every board of the run and of the package.
void BM_RunValuesLogText (benchmark::State& state)
{
    BoardBucket run_bucket;
    BoardBucket pkg_bucket;
    import_run (run_bucket, pkg_bucket);
    for (auto _ : state)
    {
        std::string text = board_values_text (run_bucket.values) + board_values_text (pkg_bucket.values);
        benchmark::DoNotOptimize (text.data());
    }
}
BENCHMARK (BM_RunValuesLogText)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (1.0);

} // namespace

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;
    vurbench::BestTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    const auto& best = reporter.best;
    const auto cat = best.find ("BM_CatRun");
    if (cat == best.end() || cat->second <= 0)
        return 0;
    std::printf ("cat of 999 package files of %d boards: %.1f ms\n", boards_per_package, cat->second);
    for (const char* name : { "BM_ImportRun", "BM_ImportRunFreshBuckets" })
        if (const auto import = best.find (name); import != best.end())
            std::printf ("%s: %.1f ms, ratio to cat %.2f (goal <= 3)\n", name, import->second, import->second / cat->second);
#ifndef NDEBUG
    std::printf ("built without NDEBUG: an unoptimised build, the figures above are not meaningful\n");
#endif
    return 0;
}
