#pragma once

// Where everything of a device tab's chart goes, as plain numbers: the drawing code paints these boxes, and
// the layout can be checked without painting anything.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A rectangle in chart pixels with fractional position and size (what the bars and grid lines are drawn with).
struct ChartRect
{
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

// A rectangle in whole chart pixels (the frame and the text boxes).
struct ChartBox
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// One moisture bin: its two bars (absent when the bar would have no height) and the label under them.
struct ChartBin
{
    std::optional<ChartRect> run_bar;
    std::optional<ChartRect> pkg_bar;
    ChartBox label_box;
    std::string label_text;   // "8%" for bin 0 up to "24%" for bin 16
};

struct ChartGeometry
{
    // Too small for more than the frame: everything below stays empty.
    bool frame_only = true;
    ChartBox frame;                       // the 1-pixel outline of the whole image
    ChartBox title_box;                   // device name (top-left) and date and time (top-right)
    std::vector<ChartRect> horizontal_grid;
    std::vector<ChartRect> vertical_grid;
    std::vector<ChartBin> bins;           // 17 bins, 8% at the left
    std::vector<ChartRect> error_boxes;   // one per error text, top to bottom
};

constexpr int chart_bin_count = 17;
constexpr int chart_min_size = 75;       // smaller charts get only their frame

using ChartHistogram = std::array<std::uint64_t, chart_bin_count>;

// The chart of w x h pixels with both histograms (each scaled to its own largest bin) and error_count error
// texts.
ChartGeometry chart_geometry (int width, int height, const ChartHistogram& run_histogram,
                              const ChartHistogram& pkg_histogram, std::size_t error_count);
