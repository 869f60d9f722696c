#pragma once

// The quality figures and the trend of a device chart, when its settings show them: a line of figures under
// the histogram (package and run: wet share, dry share, 95th percentile) and the last boards as points with
// their moving average and the two limits, below that. Both parts are off by default, and the chart is then
// exactly what it was without them.

#include "src-wnd/core/quality_figures.h"

#include <juce_graphics/juce_graphics.h>

#include <string>
#include <vector>

struct QualityView
{
    bool show_quality = false;
    bool show_trend = false;
    MoistureLimits limits;
    QualitySummary run;
    QualitySummary pkg;
    std::vector<double> trend;        // the last boards of the run, oldest first
    std::vector<double> trend_average;

    bool shows_anything() const { return show_quality || show_trend; }
};

constexpr std::size_t trend_boards = 500;
constexpr std::size_t trend_average_window = 25;

// Reads the device's show settings and the global limits and takes the figures from a copy of the channel's
// boards.
QualityView quality_view_of (const std::string& prefix, const std::vector<double>& run_values,
                             const std::vector<double>& pkg_values);

// The settings' limits: a text that is not a number keeps the default.
MoistureLimits moisture_limits_setting();

// How the chart's height is shared: the histogram keeps the top, the figures' line and the trend go below.
struct QualityLayout
{
    int histogram_height = 0;
    juce::Rectangle<int> figures;
    juce::Rectangle<int> trend;
};
QualityLayout quality_layout (const QualityView& view, int width, int height);

// Paints the figures' line and the trend into their boxes (white, framed like the chart).
void draw_quality (juce::Graphics& g, const QualityView& view, const QualityLayout& layout);

// The figures' line as it is drawn: "package: wet 3.1% dry 0.0% P95 18.2% | run: ...".
std::string quality_text (const QualityView& view);
