// The quality figures of a long run, as every refresh of a tab that shows them computes them: the summary as
// the system computes it (three selections) against sorting a copy, the way a summary was first computed.
// Prints the best time of each and their ratio. Only an optimised build (CMAKE_BUILD_TYPE=Release) gives
// meaningful figures.

#include "src-wnd/core/quality_figures.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

namespace
{
// A day and more of one planer's boards: at 1 to 2 boards a second, a run that no change has ended.
constexpr std::size_t run_boards = 200000;

const std::vector<double>& run_values()
{
    static const std::vector<double> values = [] {
        std::mt19937 random (42);
        std::normal_distribution<double> moisture (14.0, 2.5);
        std::vector<double> v (run_boards);
        for (auto& x : v)
            x = std::round (std::clamp (moisture (random), 0.0, 99.9) * 10.0) / 10.0;
        return v;
    }();
    return values;
}

void BM_Summary (benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize (summarize (run_values(), MoistureLimits {}));
}
BENCHMARK (BM_Summary)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);

void BM_SummaryBySorting (benchmark::State& state)
{
    for (auto _ : state)
    {
        const auto& values = run_values();
        QualitySummary s;
        std::vector<double> sorted (values);
        std::sort (sorted.begin(), sorted.end());
        s.count = values.size();
        s.mean = std::accumulate (values.begin(), values.end(), 0.0) / static_cast<double> (values.size());
        s.deviation = sample_deviation (values);
        s.p5 = *percentile_of_sorted (sorted, 5.0);
        s.p50 = *percentile_of_sorted (sorted, 50.0);
        s.p95 = *percentile_of_sorted (sorted, 95.0);
        s.wet_share = wet_share (values, 19.0);
        s.dry_share = dry_share (values, 10.0);
        benchmark::DoNotOptimize (s);
    }
}
BENCHMARK (BM_SummaryBySorting)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);
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
    const auto summary = best.find ("BM_Summary");
    const auto sorting = best.find ("BM_SummaryBySorting");
    if (summary == best.end() || sorting == best.end() || sorting->second <= 0)
        return 0;
    std::printf ("figures of a run of %zu boards: %.2f ms by selection, %.2f ms by sorting, ratio %.2f\n", run_boards,
                 summary->second, sorting->second, summary->second / sorting->second);
#ifndef NDEBUG
    std::printf ("built without NDEBUG: an unoptimised build, the figures above are not meaningful\n");
#endif
    return 0;
}
