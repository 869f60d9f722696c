// The quality figures and the trend on a device chart: off by default, and when shown, where they go and
// what they are drawn from.

#include "device_tab_fixture.h"
#include "src-wnd/quality_drawing.h"

namespace
{
using QualityChart = vurtest::DeviceTabFixture;

bool is_red (juce::Colour c) { return c.getRed() > 180 && c.getGreen() < 110 && c.getBlue() < 110; }
bool is_orange (juce::Colour c) { return c.getRed() > 200 && c.getGreen() > 120 && c.getGreen() < 200 && c.getBlue() < 60; }

// The first row from the top, inside the box, that holds a pixel of the colour; -1 for none.
int first_row_with (const juce::Image& image, juce::Rectangle<int> box, bool (*test) (juce::Colour))
{
    for (int y = box.getY() + 1; y < box.getBottom() - 1; ++y)
        for (int x = box.getX() + 1; x < box.getRight() - 1; ++x)
            if (test (image.getPixelAt (x, y)))
                return y;
    return -1;
}
} // namespace

TEST_F (QualityChart, TheHistogramGivesRoomOnlyToWhatIsShown)
{
    struct Case
    {
        bool quality, trend;
        int histogram, figures_height, trend_height;
    };
    const Case cases[] = {
        { false, false, 400, 0, 0 },
        { true, false, 382, 18, 0 },
        { false, true, 240, 0, 160 },
        { true, true, 222, 18, 160 },
    };
    for (const auto& c : cases)
    {
        QualityView view;
        view.show_quality = c.quality;
        view.show_trend = c.trend;
        const auto layout = quality_layout (view, 680, 400);
        EXPECT_EQ (layout.histogram_height, c.histogram) << c.quality << c.trend;
        EXPECT_EQ (layout.figures.getHeight(), c.figures_height) << c.quality << c.trend;
        EXPECT_EQ (layout.trend.getHeight(), c.trend_height) << c.quality << c.trend;
        // Top to bottom without gap or overlap.
        EXPECT_EQ (layout.figures.getY(), c.histogram);
        EXPECT_EQ (layout.trend.getY(), c.histogram + c.figures_height);
        EXPECT_EQ (layout.trend.getBottom(), c.trend ? 400 : c.histogram + c.figures_height);
    }
}

TEST_F (QualityChart, FiguresOfThePackageAndTheRunWithTheConfiguredLimits)
{
    TabCanvas& canvas = make_canvas ("a");
    app->cfg->set_str ("a_show_quality", "true");
    app->cfg->set_str ("wet_limit_pct", "18.5");
    app->cfg->set_str ("dry_limit_pct", "not a number"); // keeps 10.0
    add_boards (canvas, { { 9.0, 1 }, { 14.0, 7 }, { 19.0, 2 } });
    // A package change empties the package, the run keeps its boards.
    canvas.change ([] (ChannelState& state) { state.pkg_bucket.reset(); });
    add_boards (canvas, { { 15.0, 3 }, { 20.0, 1 } });

    const ChannelFigures now = canvas.figures (BoardValues::included);
    const auto view = quality_view_of ("a", now.run_values, now.pkg_values);
    EXPECT_TRUE (view.show_quality);
    EXPECT_FALSE (view.show_trend);
    EXPECT_TRUE (view.trend.empty());
    EXPECT_EQ (view.limits.wet_pct, 18.5);
    EXPECT_EQ (view.limits.dry_pct, 10.0);
    // Package: 4 boards, one above 18.5; run: 14 boards, 3 above 18.5 and one below 10.
    EXPECT_EQ (quality_text (view), "package: wet 25.0% dry 0.0% P95 20.0%   run: wet 21.4% dry 7.1% P95 20.0%");

    QualityView empty;
    EXPECT_EQ (quality_text (empty), "package: -   run: -");

    // Only a whole number is a limit: a decimal comma does not make 18.5 into 18.
    for (const char* text : { "18,5", "18.5%", "18 .5" })
    {
        app->cfg->set_str ("wet_limit_pct", text);
        EXPECT_EQ (moisture_limits_setting().wet_pct, 19.0) << text;
    }
    app->cfg->set_str ("wet_limit_pct", " 18.5 ");
    EXPECT_EQ (moisture_limits_setting().wet_pct, 18.5);
}

TEST_F (QualityChart, TheTrendIsTheLastFiveHundredBoardsUnderTheHistogramBetweenItsLimits)
{
    TabCanvas& canvas = make_canvas ("a");
    canvas.is_active_tab = true;
    app->cfg->set_str ("a_show_trend", "true");
    // 100 very wet boards first, then 500 in between the limits: only the 500 are in the trend.
    add_boards (canvas, { { 30.0, 100 }, { 15.0, 250 }, { 11.0, 250 } });
    {
        const ChannelFigures now = canvas.figures (BoardValues::included);
        const auto view = quality_view_of ("a", now.run_values, now.pkg_values);
        ASSERT_EQ (view.trend.size(), trend_boards);
        EXPECT_EQ (view.trend.front(), 15.0);
        EXPECT_EQ (view.trend.back(), 11.0);
        ASSERT_EQ (view.trend_average.size(), trend_boards);
        EXPECT_DOUBLE_EQ (view.trend_average[260], (15.0 * 14 + 11.0 * 11) / 25.0);
    }

    const juce::Image image = canvas.render_chart (680, 400);
    ASSERT_TRUE (image.isValid());
    QualityView shown;
    shown.show_trend = true;
    const auto layout = quality_layout (shown, 680, 400);
    // The wet line (red) above the dry line (orange), both inside the trend box; no red in the histogram,
    // which has no error to show.
    const int wet_row = first_row_with (image, layout.trend, is_red);
    const int dry_row = first_row_with (image, layout.trend, is_orange);
    ASSERT_GT (wet_row, layout.trend.getY());
    ASSERT_GT (dry_row, wet_row);
    EXPECT_EQ (first_row_with (image, { 0, 0, 680, layout.histogram_height }, is_red), -1);
    // Scale from dry - 1 = 9 to wet + 1 = 20 (the 30s are not in it): the 15s lie 6/11 of the way up. In the
    // column of board 100, everything between the limit lines is white but the point and its average there.
    const auto plot = layout.trend.reduced (6).toFloat();
    const int row_15 = static_cast<int> (plot.getBottom() - 6.0f / 11.0f * plot.getHeight());
    const int x_early = static_cast<int> (plot.getX() + 100.0f * plot.getWidth() / 499.0f);
    std::vector<int> marked_rows;
    for (int y = wet_row + 1; y < dry_row; ++y)
        if (image.getPixelAt (x_early, y) != juce::Colours::white)
            marked_rows.push_back (y);
    ASSERT_FALSE (marked_rows.empty());
    EXPECT_GE (marked_rows.front(), row_15 - 2) << "row " << row_15;
    EXPECT_LE (marked_rows.back(), row_15 + 2) << "row " << row_15;
}
