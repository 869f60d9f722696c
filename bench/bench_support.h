#pragma once

// What several benchmarks share: a reporter that keeps each benchmark's best time, for the ratios they
// print, and a run of record files to import.

#include "src-wnd/core/board_stats.h"
#include "src-wnd/core/record_format.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace vurbench
{
// The console report, plus the best real time of every benchmark by its function name.
class BestTimeReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns (const std::vector<Run>& runs) override
    {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration && ! r.error_occurred)
            {
                const auto known = best.find (r.run_name.function_name);
                if (known == best.end() || r.GetAdjustedRealTime() < known->second)
                    best[r.run_name.function_name] = r.GetAdjustedRealTime();
            }
        ConsoleReporter::ReportRuns (runs);
    }

    std::map<std::string, double> best;   // in each benchmark's own time unit
};

// The run the import benchmarks read: the largest a run can be, with the current package in its middle.
constexpr int kiln = 7;
constexpr int run = 12;
constexpr int current_pkg = 500;
constexpr int boards_per_package = 1500;

// That run's package files 1 to 999, with random values (always the same ones), as the system writes them.
// Returns their paths in package order.
inline std::vector<std::string> write_run_files (const std::string& dir)
{
    std::filesystem::create_directories (dir);
    std::mt19937 random (42);
    std::uniform_int_distribution<int> tenths (60, 300);
    std::vector<std::string> paths;
    for (int p = 1; p <= 999; ++p)
    {
        BoardBucket pkg;
        for (int b = 0; b < boards_per_package; ++b)
            pkg.add (tenths (random) / 10.0);
        pkg.recompute_average();
        pkg.update_deviation();
        paths.push_back (dir + "/" + record_file_name (kiln, run, p));
        std::ofstream (paths.back(), std::ios::binary) << package_file_text (pkg);
    }
    return paths;
}
} // namespace vurbench
