#include "src-wnd/quality_drawing.h"

#include "src-cfg/cfg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace
{
double number_setting (const std::string& key, double fallback)
{
    // The whole text is the number: "18,5" is not 18, whatever a decimal comma meant.
    const std::string text = cfg_store().get_str (key, "");
    char* end = nullptr;
    const double value = std::strtod (text.c_str(), &end);
    if (end == text.c_str() || ! std::isfinite (value))
        return fallback;
    while (*end == ' ' || *end == '\t')
        ++end;
    return *end == '\0' ? value : fallback;
}

std::string figures_of (const char* what, const QualitySummary& s)
{
    if (s.count == 0)
        return std::string (what) + ": -";
    char text[96];
    std::snprintf (text, sizeof (text), "%s: wet %.1f%% dry %.1f%% P95 %.1f%%", what, s.wet_share * 100.0,
                   s.dry_share * 100.0, s.p95);
    return text;
}
} // namespace

MoistureLimits moisture_limits_setting()
{
    MoistureLimits limits;
    limits.wet_pct = number_setting ("wet_limit_pct", limits.wet_pct);
    limits.dry_pct = number_setting ("dry_limit_pct", limits.dry_pct);
    return limits;
}

QualityView quality_view_of (const std::string& prefix, const std::vector<double>& run_values,
                             const std::vector<double>& pkg_values)
{
    QualityView view;
    auto& cfg = cfg_store();
    view.show_quality = cfg.get_bool (prefix + "_show_quality", false);
    view.show_trend = cfg.get_bool (prefix + "_show_trend", false);
    if (! view.shows_anything())
        return view;
    view.limits = moisture_limits_setting();
    if (view.show_quality)
    {
        view.run = summarize (run_values, view.limits);
        view.pkg = summarize (pkg_values, view.limits);
    }
    if (view.show_trend)
    {
        const std::size_t take = std::min (trend_boards, run_values.size());
        view.trend.assign (run_values.end() - static_cast<std::ptrdiff_t> (take), run_values.end());
        view.trend_average = moving_average (view.trend, trend_average_window);
    }
    return view;
}

std::string quality_text (const QualityView& view)
{
    return figures_of ("package", view.pkg) + "   " + figures_of ("run", view.run);
}

QualityLayout quality_layout (const QualityView& view, int width, int height)
{
    // Histogram, then the figures' line, then the trend at the bottom.
    const int trend_height = view.show_trend ? height * 2 / 5 : 0;
    const int line_height = view.show_quality ? 18 : 0;
    QualityLayout layout;
    layout.histogram_height = height - trend_height - line_height;
    layout.figures = { 0, layout.histogram_height, width, line_height };
    layout.trend = { 0, layout.histogram_height + line_height, width, trend_height };
    return layout;
}

void draw_quality (juce::Graphics& g, const QualityView& view, const QualityLayout& layout)
{
    if (view.show_quality)
    {
        g.setColour (juce::Colours::white);
        g.fillRect (layout.figures);
        g.setColour (juce::Colours::black);
        g.drawRect (layout.figures, 1);
        g.setFont (12.0f);
        g.drawText (quality_text (view), layout.figures.reduced (4, 0), juce::Justification::centredLeft, true);
    }
    if (! view.show_trend)
        return;

    const auto area = layout.trend;
    g.setColour (juce::Colours::white);
    g.fillRect (area);
    g.setColour (juce::Colours::black);
    g.drawRect (area, 1);
    const auto plot = area.reduced (6).toFloat();
    if (plot.getWidth() < 2.0f || plot.getHeight() < 2.0f)
        return;

    // The scale holds both limits and every point, with a little room above and below.
    double low = view.limits.dry_pct;
    double high = view.limits.wet_pct;
    for (const double v : view.trend)
    {
        low = std::min (low, v);
        high = std::max (high, v);
    }
    low -= 1.0;
    high += 1.0;
    const auto y_of = [&] (double v) {
        return plot.getBottom() - static_cast<float> ((v - low) / (high - low)) * plot.getHeight();
    };
    const float step = plot.getWidth() / static_cast<float> (trend_boards - 1);
    const auto x_of = [&] (std::size_t i) { return plot.getX() + static_cast<float> (i) * step; };

    const auto limit_line = [&] (double v, juce::Colour colour) {
        g.setColour (colour);
        g.drawHorizontalLine (static_cast<int> (std::lround (y_of (v))), plot.getX(), plot.getRight());
    };
    limit_line (view.limits.wet_pct, juce::Colours::red);
    limit_line (view.limits.dry_pct, juce::Colours::orange);

    g.setColour (juce::Colours::blue.withAlpha (0.6f));
    for (std::size_t i = 0; i < view.trend.size(); ++i)
        g.fillRect (x_of (i) - 1.0f, y_of (view.trend[i]) - 1.0f, 2.0f, 2.0f);

    if (view.trend_average.size() >= 2)
    {
        juce::Path average;
        average.startNewSubPath (x_of (0), y_of (view.trend_average[0]));
        for (std::size_t i = 1; i < view.trend_average.size(); ++i)
            average.lineTo (x_of (i), y_of (view.trend_average[i]));
        g.setColour (juce::Colours::black);
        g.strokePath (average, juce::PathStrokeType (1.5f));
    }
}
