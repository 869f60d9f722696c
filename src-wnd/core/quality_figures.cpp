#include "src-wnd/core/quality_figures.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace
{
double share_where (const std::vector<double>& values, bool (*test) (double, double), double limit)
{
    if (values.empty())
        return 0.0;
    const auto n = std::count_if (values.begin(), values.end(), [&] (double v) { return test (v, limit); });
    return static_cast<double> (n) / static_cast<double> (values.size());
}
} // namespace

double wet_share (const std::vector<double>& values, double wet_limit)
{
    return share_where (values, [] (double v, double limit) { return v > limit; }, wet_limit);
}

double dry_share (const std::vector<double>& values, double dry_limit)
{
    return share_where (values, [] (double v, double limit) { return v < limit; }, dry_limit);
}

namespace
{
// The nearest rank, 1 to count, of the p-th percentile of count values (count > 0).
std::size_t nearest_rank (double p, std::size_t count)
{
    // NaN is taken as 0, like any p below the range.
    const double clamped = p > 100.0 ? 100.0 : (p > 0.0 ? p : 0.0);
    const auto rank = static_cast<std::size_t> (std::ceil (clamped / 100.0 * static_cast<double> (count)));
    return std::clamp<std::size_t> (rank, 1, count);
}
} // namespace

std::optional<double> percentile_of_sorted (const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return std::nullopt;
    return sorted[nearest_rank (p, sorted.size()) - 1];
}

std::optional<double> percentile (std::vector<double> values, double p)
{
    std::sort (values.begin(), values.end());
    return percentile_of_sorted (values, p);
}

std::vector<double> moving_average (const std::vector<double>& values, std::size_t window)
{
    window = std::max<std::size_t> (window, 1);
    std::vector<double> result;
    result.reserve (values.size());
    // A running sum would gather rounding over hundreds of thousands of boards; the window is small, so each
    // mean is summed afresh.
    for (std::size_t i = 0; i < values.size(); ++i)
    {
        const std::size_t first = i + 1 >= window ? i + 1 - window : 0;
        const double sum = std::accumulate (values.begin() + static_cast<std::ptrdiff_t> (first),
                                            values.begin() + static_cast<std::ptrdiff_t> (i + 1), 0.0);
        result.push_back (sum / static_cast<double> (i + 1 - first));
    }
    return result;
}

double sample_deviation (const std::vector<double>& values)
{
    if (values.size() < 2)
        return 0.0;
    const double n = static_cast<double> (values.size());
    const double mean = std::accumulate (values.begin(), values.end(), 0.0) / n;
    double squares = 0.0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    return std::sqrt (squares / (n - 1.0));
}

std::optional<double> kiln_baseline (const std::vector<double>& previous_run_deviations, std::size_t runs)
{
    const std::size_t take = std::min (runs, previous_run_deviations.size());
    if (take == 0)
        return std::nullopt;
    std::vector<double> last (previous_run_deviations.end() - static_cast<std::ptrdiff_t> (take),
                              previous_run_deviations.end());
    std::sort (last.begin(), last.end());
    const std::size_t mid = take / 2;
    return take % 2 == 1 ? last[mid] : (last[mid - 1] + last[mid]) / 2.0;
}

QualitySummary summarize (const std::vector<double>& values, const MoistureLimits& limits)
{
    QualitySummary s;
    if (values.empty())
        return s;
    // A run's figures are drawn at every refresh, a run may hold a day's boards and more: three selections,
    // each in linear time, instead of a sort. Selecting the ranks in rising order leaves each later one to
    // the part above the one before.
    std::vector<double> work (values);
    auto from = work.begin();
    const auto at_rank = [&] (double p) {
        const auto nth = work.begin() + static_cast<std::ptrdiff_t> (nearest_rank (p, work.size()) - 1);
        std::nth_element (from, nth, work.end());
        from = nth;
        return *nth;
    };
    s.count = values.size();
    s.mean = std::accumulate (values.begin(), values.end(), 0.0) / static_cast<double> (values.size());
    s.deviation = sample_deviation (values);
    s.p5 = at_rank (5.0);
    s.p50 = at_rank (50.0);
    s.p95 = at_rank (95.0);
    s.wet_share = wet_share (values, limits.wet_pct);
    s.dry_share = dry_share (values, limits.dry_pct);
    return s;
}
