#include "src-wnd/core/chart_geometry.h"

#include <algorithm>

namespace
{
constexpr float title_inset = 3.0f;
constexpr float bar_top_margin = 2.0f;
constexpr float baseline_from_bottom = 15.0f;
constexpr int label_height = 15;
constexpr float error_line_height = 20.0f;
constexpr float error_left_inset = 10.0f;

std::uint64_t largest_count (const ChartHistogram& histogram)
{
    // At least 1, so that an empty histogram gives ratios of 0 rather than a division by zero.
    return std::max<std::uint64_t> (1, *std::max_element (histogram.begin(), histogram.end()));
}

// A bar rises from the baseline to the height of its count relative to the largest count; a bar whose
// height comes out as 0 or less (an empty bin) is not drawn at all.
std::optional<ChartRect> bar (float x, float bar_width, float chart_height, std::uint64_t count, std::uint64_t largest)
{
    const auto ratio = static_cast<float> (static_cast<double> (count) / static_cast<double> (largest));
    const float top = (1.0f - ratio) * chart_height + bar_top_margin;
    const float height = chart_height - top - baseline_from_bottom;
    if (! (height > 0.0f))
        return std::nullopt;
    return ChartRect { x, top, bar_width, height };
}
} // namespace

ChartGeometry chart_geometry (int width, int height, const ChartHistogram& run_histogram,
                              const ChartHistogram& pkg_histogram, std::size_t error_count)
{
    ChartGeometry geometry;
    geometry.frame = { 0, 0, width, height };
    geometry.frame_only = width < chart_min_size || height < chart_min_size;
    if (geometry.frame_only)
        return geometry;

    const auto inset = static_cast<int> (title_inset);
    geometry.title_box = { inset, inset, width - 2 * inset, 6 };

    const auto W = static_cast<float> (width);
    const auto H = static_cast<float> (height);
    const float col_width = W * (1.0f / static_cast<float> (chart_bin_count));
    const float gap = col_width / 7.0f;
    const float bar_width = col_width * 3.0f / 7.0f;

    for (float f : { 0.2f, 0.4f, 0.6f, 0.8f })
        geometry.horizontal_grid.push_back ({ 0.0f, f * H, W, 1.0f });
    const auto column_start = [W] (int k) { return static_cast<float> (k) / static_cast<float> (chart_bin_count) * W; };
    for (int k = 1; k < chart_bin_count; ++k)
        geometry.vertical_grid.push_back ({ column_start (k), 0.0f, 1.0f, H });

    const std::uint64_t max_run = largest_count (run_histogram);
    const std::uint64_t max_pkg = largest_count (pkg_histogram);
    for (int i = 0; i < chart_bin_count; ++i)
    {
        ChartBin bin;
        const float x0 = static_cast<float> (i) * col_width;
        // The package bar starts two sevenths into the run bar, so the two overlap by a seventh of a column.
        const auto bin_index = static_cast<std::size_t> (i);
        bin.run_bar = bar (x0 + gap, bar_width, H, run_histogram[bin_index], max_run);
        bin.pkg_bar = bar (x0 + col_width * 3.0f / 7.0f, bar_width, H, pkg_histogram[bin_index], max_pkg);
        bin.label_box = { static_cast<int> (column_start (i) + title_inset),
                          static_cast<int> (H - baseline_from_bottom),
                          static_cast<int> (col_width - 6.0f),
                          label_height };
        bin.label_text = std::to_string (i + 8) + "%";
        geometry.bins.push_back (bin);
    }

    for (std::size_t i = 0; i < error_count; ++i)
        geometry.error_boxes.push_back ({ error_left_inset, error_line_height * static_cast<float> (i + 1),
                                          W - 2.0f * error_left_inset, error_line_height });
    return geometry;
}
