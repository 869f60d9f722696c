#pragma once

// Quality figures of a set of board values, as a mill ships on them: the shares of boards too wet and too dry,
// percentiles, a moving average for the trend, and a kiln's usual spread to compare a charge against.
//
// Percentiles use the nearest-rank definition everywhere (tab, chart and reports): the p-th percentile of n
// sorted values is the value at rank ceil(p / 100 * n), counted from 1 and kept within 1..n. It is always one
// of the measured values, so a report never shows a moisture no board had.

#include <cstddef>
#include <optional>
#include <vector>

struct MoistureLimits
{
    double wet_pct = 19.0; // a board above this is too wet
    double dry_pct = 10.0; // a board below this is too dry
};

// Share (0..1) of the values strictly above the wet limit; 0 for no values.
double wet_share (const std::vector<double>& values, double wet_limit);
// Share (0..1) of the values strictly below the dry limit; 0 for no values.
double dry_share (const std::vector<double>& values, double dry_limit);

// Nearest-rank percentile (p in 0..100, clamped) of values already sorted ascending; nothing for no values.
std::optional<double> percentile_of_sorted (const std::vector<double>& sorted, double p);
// The same of values in any order (sorts a copy).
std::optional<double> percentile (std::vector<double> values, double p);

// Trailing moving average: element i is the mean of values[i - window + 1 .. i], fewer at the start where the
// window does not yet fill. Same length as values; a window of 0 is taken as 1.
std::vector<double> moving_average (const std::vector<double>& values, std::size_t window);

// Sample standard deviation (divisor n - 1); 0 for fewer than two values.
double sample_deviation (const std::vector<double>& values);

// Median of the sample deviations of a kiln's previous runs, oldest first: the last `runs` of them count
// (all when there are fewer). Nothing when there is no previous run. An even count takes the mean of the
// two middle ones.
std::optional<double> kiln_baseline (const std::vector<double>& previous_run_deviations, std::size_t runs);

// Everything a report or a tab shows about one set of boards.
struct QualitySummary
{
    std::size_t count = 0;
    double mean = 0.0;
    double deviation = 0.0;
    double p5 = 0.0;
    double p50 = 0.0;
    double p95 = 0.0;
    double wet_share = 0.0;
    double dry_share = 0.0;
};

// Summary of the values (any order); all zeros for no values.
QualitySummary summarize (const std::vector<double>& values, const MoistureLimits& limits);
