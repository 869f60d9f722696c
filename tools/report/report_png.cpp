// The report's chart: the histogram of the chosen boards in the monitor's bins, and their trend (the last 500
// boards with the 25-board moving average and the two limits), as one PNG picture.

#include "tools/report/report.h"

#include "src-wnd/core/board_stats.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <array>

namespace
{
constexpr int width = 900;
constexpr int histogram_height = 300;
constexpr int trend_height = 220;
constexpr std::size_t trend_boards = 500;
constexpr std::size_t trend_window = 25;

void draw_histogram (juce::Graphics& g, const std::vector<double>& values, juce::Rectangle<float> area)
{
    std::array<std::uint64_t, moisture_bin_count> bins {};
    for (const double v : values)
        ++bins[static_cast<std::size_t> (moisture_bin (v))];
    const auto largest = std::max<std::uint64_t> (1, *std::max_element (bins.begin(), bins.end()));
    const auto plot = area.reduced (10.0f).withTrimmedBottom (14.0f);
    const float slot = plot.getWidth() / moisture_bin_count;
    for (int i = 0; i < moisture_bin_count; ++i)
    {
        const float h = plot.getHeight() * static_cast<float> (bins[static_cast<std::size_t> (i)]) / static_cast<float> (largest);
        const juce::Rectangle<float> bar (plot.getX() + slot * static_cast<float> (i) + 3.0f, plot.getBottom() - h, slot - 6.0f, h);
        g.setColour (juce::Colours::darkorchid.withAlpha (0.25f));
        g.fillRect (bar);
        g.setColour (juce::Colours::darkorchid);
        g.drawRect (bar, 1.0f);
        g.setColour (juce::Colours::black);
        g.drawText (juce::String (i + 8) + "%", juce::Rectangle<float> (plot.getX() + slot * static_cast<float> (i), plot.getBottom() + 1.0f, slot, 13.0f),
                    juce::Justification::centred);
    }
}

void draw_trend (juce::Graphics& g, const std::vector<double>& all, const MoistureLimits& limits, juce::Rectangle<float> area)
{
    const std::size_t take = std::min (trend_boards, all.size());
    const std::vector<double> values (all.end() - static_cast<std::ptrdiff_t> (take), all.end());
    const auto average = moving_average (values, trend_window);
    const auto plot = area.reduced (10.0f);
    double low = limits.dry_pct, high = limits.wet_pct;
    for (const double v : values)
    {
        low = std::min (low, v);
        high = std::max (high, v);
    }
    low -= 1.0;
    high += 1.0;
    const auto y_of = [&] (double v) { return plot.getBottom() - static_cast<float> ((v - low) / (high - low)) * plot.getHeight(); };
    const float step = plot.getWidth() / static_cast<float> (trend_boards - 1);
    const auto x_of = [&] (std::size_t i) { return plot.getX() + static_cast<float> (i) * step; };

    g.setColour (juce::Colours::red);
    g.drawHorizontalLine (static_cast<int> (y_of (limits.wet_pct)), plot.getX(), plot.getRight());
    g.setColour (juce::Colours::orange);
    g.drawHorizontalLine (static_cast<int> (y_of (limits.dry_pct)), plot.getX(), plot.getRight());
    g.setColour (juce::Colours::blue.withAlpha (0.6f));
    for (std::size_t i = 0; i < values.size(); ++i)
        g.fillRect (x_of (i) - 1.0f, y_of (values[i]) - 1.0f, 2.0f, 2.0f);
    if (average.size() >= 2)
    {
        juce::Path path;
        path.startNewSubPath (x_of (0), y_of (average[0]));
        for (std::size_t i = 1; i < average.size(); ++i)
            path.lineTo (x_of (i), y_of (average[i]));
        g.setColour (juce::Colours::black);
        g.strokePath (path, juce::PathStrokeType (1.5f));
    }
}
} // namespace

bool write_report_png (const std::vector<ReportRow>& rows, const MoistureLimits& limits, const std::string& path)
{
    std::vector<double> values;
    for (const auto& r : rows)
        values.insert (values.end(), r.values.begin(), r.values.end());

    // The framework's fonts and caches live from here to the end of the picture, and are released with it; no
    // display is needed for drawing into an image.
    const juce::ScopedJuceInitialiser_GUI framework;
    juce::Image image (juce::Image::RGB, width, histogram_height + trend_height, true);
    {
        juce::Graphics g (image);
        g.fillAll (juce::Colours::white);
        const juce::Rectangle<float> top (0.0f, 0.0f, width, histogram_height);
        const juce::Rectangle<float> bottom (0.0f, histogram_height, width, trend_height);
        g.setColour (juce::Colours::black);
        g.drawRect (top, 1.0f);
        g.drawRect (bottom, 1.0f);
        draw_histogram (g, values, top);
        draw_trend (g, values, limits, bottom);
    }
    const juce::File file (juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (path.c_str())));
    file.deleteFile();
    juce::FileOutputStream stream (file);
    if (! stream.openedOk())
        return false;
    juce::PNGImageFormat png;
    return png.writeImageToStream (image, stream) && (stream.flush(), stream.getStatus().wasOk());
}
