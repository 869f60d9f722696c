// The chart and the grid of a device tab, checked on the rendered pixels and the laid-out components.

#include "device_tab_fixture.h"
#include "src-wnd/chart_drawing.h"
#include "src-wnd/vodaze.h"

#include <cmath>
#include <cstdlib>

namespace
{
using ChartRender = vurtest::DeviceTabFixture;

::testing::AssertionResult near_colour (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 0)
{
    const auto c = image.getPixelAt (x, y);
    const int d = std::max ({ std::abs (c.getRed() - expected.getRed()), std::abs (c.getGreen() - expected.getGreen()),
                              std::abs (c.getBlue() - expected.getBlue()), std::abs (c.getAlpha() - expected.getAlpha()) });
    if (d <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c.toDisplayString (true)
                                         << ", expected " << expected.toDisplayString (true);
}

bool is_grey_level (juce::Colour c) { return c.getRed() == c.getGreen() && c.getGreen() == c.getBlue(); }
bool is_dark (juce::Colour c) { return c.getRed() < 100 && c.getGreen() < 100 && c.getBlue() < 100; }
bool is_red (juce::Colour c) { return c.getRed() > 180 && c.getGreen() < 110 && c.getBlue() < 110; }

// The fills of the bars as they come out over the white ground: a quarter of the bar colour.
const juce::Colour run_fill (230, 204, 242);
const juce::Colour pkg_fill (191, 191, 255);

TEST_F (ChartRender, ChartsBelowTheMinimumSizeAreWhiteWithABlackFrameOnly)
{
    TabCanvas& canvas = make_canvas ("a");
    canvas.is_active_tab = true;
    add_boards (canvas, { { 12.5, 30 } });
    for (auto [w, h] : { std::pair { 74, 200 }, { 200, 74 }, { 74, 74 } })
    {
        const juce::Image image = canvas.render_chart (w, h);
        ASSERT_TRUE (image.isValid());
        ASSERT_EQ (image.getWidth(), w);
        ASSERT_EQ (image.getHeight(), h);
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                wrong += near_colour (image, x, y, edge ? juce::Colours::black : juce::Colours::white) ? 0 : 1;
            }
        EXPECT_EQ (wrong, 0) << w << "x" << h;
    }
}

TEST_F (ChartRender, HiddenTabWithoutExportDrawsNothing)
{
    TabCanvas& canvas = make_canvas ("a");
    canvas.is_active_tab = false;
    EXPECT_TRUE (canvas.render_chart (680, 300).isNull());
}

TEST_F (ChartRender, EmptyHistogramsGiveGridAndLabelsButNoBar)
{
    TabCanvas& canvas = make_canvas ("a");
    canvas.is_active_tab = true;
    const int W = 680, H = 300;
    const juce::Image image = canvas.render_chart (W, H);

    // Nothing but grey levels: no bar colour anywhere.
    int coloured = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            coloured += is_grey_level (image.getPixelAt (x, y)) ? 0 : 1;
    EXPECT_EQ (coloured, 0);

    // Vertical grid lines every 40 pixels, the last at 16/17 of the width; horizontal ones at fifths.
    const int mid = 150;
    for (int k = 1; k <= 16; ++k)
        EXPECT_TRUE (near_colour (image, 40 * k, mid, juce::Colours::dimgrey)) << k;
    for (int x = 641; x < W - 1; ++x)
        EXPECT_TRUE (near_colour (image, x, mid, juce::Colours::white)) << x;
    for (int y : { 60, 120, 180, 240 })
        EXPECT_TRUE (near_colour (image, 20, y, juce::Colours::dimgrey)) << y;
    EXPECT_TRUE (near_colour (image, 20, mid, juce::Colours::white));

    // Each bin's label box (8% at the left to 24% at the right) holds black text, centred in it.
    const ChartGeometry geometry = chart_geometry (W, H, {}, {}, 0);
    for (const ChartBin& bin : geometry.bins)
    {
        int dark = 0, sum_x = 0;
        for (int y = bin.label_box.y; y < bin.label_box.y + bin.label_box.height; ++y)
            for (int x = bin.label_box.x; x < bin.label_box.x + bin.label_box.width; ++x)
                if (is_dark (image.getPixelAt (x, y)))
                {
                    ++dark;
                    sum_x += x;
                }
        ASSERT_GT (dark, 0) << bin.label_text;
        const double centre = bin.label_box.x + bin.label_box.width / 2.0;
        EXPECT_NEAR (static_cast<double> (sum_x) / dark, centre, 3.0) << bin.label_text;
    }
    EXPECT_EQ (geometry.bins.front().label_text, "8%");
    EXPECT_EQ (geometry.bins.back().label_text, "24%");
}

TEST_F (ChartRender, BarsRiseFromTheBaselineToTheirShareOfTheLargestBin)
{
    TabCanvas& canvas = make_canvas ("a");
    canvas.is_active_tab = true;
    // Run: 40 boards in bin 2 (10%), 20 in bin 5 (13%). Package: one board in bin 16 (24%).
    canvas.change ([] (ChannelState& state) {
        state.run_histogram[2] = 40;
        state.run_histogram[5] = 20;
        state.pkg_histogram[16] = 1;
    });
    const int W = 680, H = 300;
    const juce::Image image = canvas.render_chart (W, H);
    // Columns are 40 wide: the run bar covers 1/7 to 4/7 of its column, the package bar 3/7 to 6/7.
    const int run_x = 40 * 2 + 11;
    const int half_x = 40 * 5 + 11;
    const int pkg_x = 40 * 16 + 29;

    // The largest bin reaches from y 2 down to the baseline at H - 15.
    EXPECT_TRUE (near_colour (image, run_x, 1, juce::Colours::white));
    EXPECT_TRUE (near_colour (image, run_x, 2, juce::Colours::darkorchid));
    EXPECT_TRUE (near_colour (image, run_x, 150, run_fill, 2));
    EXPECT_TRUE (near_colour (image, run_x, H - 16, juce::Colours::darkorchid));

    // Half of it tops at H/2 + 2.
    EXPECT_TRUE (near_colour (image, half_x, H / 2 + 1, juce::Colours::white));
    EXPECT_TRUE (near_colour (image, half_x, H / 2 + 2, juce::Colours::darkorchid));
    EXPECT_TRUE (near_colour (image, half_x, 200, run_fill, 2));
    EXPECT_TRUE (near_colour (image, half_x, H - 16, juce::Colours::darkorchid));

    // The package is scaled to its own largest bin: one board fills the height.
    EXPECT_TRUE (near_colour (image, pkg_x, 1, juce::Colours::white));
    EXPECT_TRUE (near_colour (image, pkg_x, 2, juce::Colours::blue));
    EXPECT_TRUE (near_colour (image, pkg_x, 150, pkg_fill, 2));
    EXPECT_TRUE (near_colour (image, pkg_x, H - 16, juce::Colours::blue));

    // The bars hide the grid line that crosses them; empty bins stay white.
    EXPECT_TRUE (near_colour (image, run_x, 120, run_fill, 20));
    for (int bin : { 0, 3, 4, 6, 15 })
        for (int x : { 40 * bin + 11, 40 * bin + 29 })
            EXPECT_TRUE (near_colour (image, x, 150, juce::Colours::white)) << "bin " << bin;
}

// The title names the device; one without a name setting is named by its prefix, as its tab is.
TEST_F (ChartRender, TitleShowsTheDeviceNameOrElseThePrefix)
{
    TabCanvas& canvas = make_canvas ("a", "Planer #1");
    canvas.is_active_tab = true;
    const int W = 680, H = 300;
    const auto title_differences = [&] (const juce::String& expected_name) {
        const juce::Image image = canvas.render_chart (W, H);
        juce::Image reference (juce::Image::ARGB, W, H, true);
        {
            juce::Graphics g (reference);
            draw_chart (g, chart_geometry (W, H, {}, {}, 0), expected_name, "", {});
        }
        // The left half of the title line; the time stands at the right.
        int different = 0;
        for (int y = 0; y < 19; ++y)
            for (int x = 0; x < W / 2; ++x)
                different += image.getPixelAt (x, y) == reference.getPixelAt (x, y) ? 0 : 1;
        return different;
    };
    EXPECT_EQ (title_differences ("Planer #1"), 0);
    EXPECT_GT (title_differences ("Planer #2"), 0);

    app->cfg->removeValue ("a_name");
    EXPECT_EQ (title_differences ("a"), 0);
}

// The window's errors come first, then the device's, in red, 20 pixels apart from y 20 down.
TEST_F (ChartRender, ErrorTextsOfTheWindowAndTheDeviceStandInRedRows)
{
    add_device ("a", folder + "/no-such-port", "Planer");
    app->cfg->set_str ("a_chart_redraw_ms", "0");
    app->wnd = app->make_main_window();
    auto* canvas = dynamic_cast<TabCanvas*> (app->wnd->notebook.getTabContentComponent (0));
    ASSERT_NE (canvas, nullptr);
    const auto device_errors = [canvas] { return canvas->figures().error_messages; };
    ASSERT_TRUE (pump_until ([&] { return app->wnd->error_messages.size() == 2 && device_errors().size() == 1; }));
    ASSERT_EQ (app->wnd->error_messages,
               (std::vector<std::string> { "Failed to start the OPC console application.", "OPC Console has failed." }));

    const int W = 680, H = 300;
    const juce::Image image = canvas->render_chart (W, H);

    std::vector<int> red_per_row (H, 0);
    int leftmost = W;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (is_red (image.getPixelAt (x, y)))
            {
                ++red_per_row[static_cast<std::size_t> (y)];
                leftmost = std::min (leftmost, x);
            }
    for (int y = 0; y < H; ++y)
    {
        if (y < 20 || y >= 80)
        {
            EXPECT_EQ (red_per_row[static_cast<std::size_t> (y)], 0) << "row " << y;
        }
    }
    for (int band = 0; band < 3; ++band)
    {
        int red = 0;
        for (int y = 20 + 20 * band; y < 40 + 20 * band; ++y)
            red += red_per_row[static_cast<std::size_t> (y)];
        EXPECT_GT (red, 0) << "line " << band + 1;
    }
    EXPECT_GE (leftmost, 10);

    // The same three texts in this order, drawn on their own, give exactly these rows.
    std::vector<std::string> expected = app->wnd->error_messages;
    expected.push_back (device_errors().front());
    juce::Image reference (juce::Image::ARGB, W, H, true);
    {
        juce::Graphics g (reference);
        draw_chart (g, chart_geometry (W, H, {}, {}, expected.size()), "Planer", "", expected);
    }
    int different = 0;
    for (int y = 20; y < 80; ++y)
        for (int x = 0; x < W; ++x)
            different += image.getPixelAt (x, y) == reference.getPixelAt (x, y) ? 0 : 1;
    EXPECT_EQ (different, 0);
}

// Every row lines up in a first column of 40 and 17 equal columns; the chart takes the rest.
// A refresh where only the clock moved draws just the clock's band into the shown picture; the result must be
// the picture a whole drawing gives, pixel for pixel, and any other change must bring a whole new picture.
TEST_F (ChartRender, RefreshesThatOnlyMoveTheClockGiveTheSamePixelsAsAWholeDrawing)
{
    TabCanvas& canvas = make_canvas ("a");
    canvas.is_active_tab = true;
    canvas.setBounds (0, 0, 800, 600);
    add_boards (canvas, { { 12.5, 30 }, { 23.9, 29 }, { 8.0, 1 } });
    canvas.update_status();
    const juce::Image first = canvas.chart.getImage();
    ASSERT_TRUE (first.isValid());
    ASSERT_GE (first.getWidth(), chart_min_size);

    const auto same_pixels = [] (const juce::Image& a, const juce::Image& b) {
        if (a.getBounds() != b.getBounds())
            return false;
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;
        return true;
    };
    const auto second_now = [] { return juce::Time::getCurrentTime().formatted ("%H:%M:%S"); };
    // Refreshes, then draws a whole picture: both within one second, so that both show the same time (a slow
    // build can take a second for the pair: then both are made again).
    const auto refresh_matches_whole_drawing = [&] {
        for (int attempt = 0; attempt < 5; ++attempt)
        {
            const auto started = second_now();
            canvas.update_status();
            const auto shown = canvas.chart.getImage().createCopy();
            const auto whole = canvas.render_chart (shown.getWidth(), shown.getHeight());
            if (second_now() == started)
                return same_pixels (shown, whole);
        }
        return false;
    };

    // The clock shows seconds: the next refresh is made to show another time.
    const auto drawn_at = second_now();
    ASSERT_TRUE (pump_until ([&] { return second_now() != drawn_at; }, 3000));
    EXPECT_TRUE (refresh_matches_whole_drawing());
    EXPECT_TRUE (canvas.chart.getImage() == first) << "only the clock moved: the shown picture is drawn into";

    add_boards (canvas, { { 15.2, 1 } });
    EXPECT_TRUE (refresh_matches_whole_drawing());
    EXPECT_FALSE (canvas.chart.getImage() == first) << "a new board brings a whole new picture";

    canvas.change ([] (ChannelState& state) { state.error_messages.push_back ("a new error"); });
    const juce::Image before_error = canvas.chart.getImage();
    EXPECT_TRUE (refresh_matches_whole_drawing());
    EXPECT_FALSE (canvas.chart.getImage() == before_error) << "a new error text brings a whole new picture";
}

TEST_F (ChartRender, GridRowsShareOneColumnLayout)
{
    TabCanvas& canvas = make_canvas ("a");
    for (const auto& size : { std::pair { 1180, 650 }, { 640, 450 }, { 901, 333 } })
    {
        // Plain variables: C++17 lets no lambda capture a structured binding.
        const int w = size.first;
        const int h = size.second;
        canvas.setBounds (0, 0, w, h);
        canvas.resized();

        const double inner = w - 10;                 // the tab less 5 on each side
        const double column = (inner - 50) / 17.0;   // after the first column and its margins
        const auto column_x = [column] (int i) { return 5 + 50 + i * column + 5; };
        const auto check = [&] (const juce::Component& c, int row, int col) {
            const auto b = c.getBounds();
            EXPECT_EQ (b.getY(), 10 + 30 * row) << w << "x" << h << " row " << row << " column " << col;
            EXPECT_EQ (b.getHeight(), 20) << w << "x" << h << " row " << row << " column " << col;
            if (col < 0)
            {
                EXPECT_EQ (b.getX(), 10);
                EXPECT_EQ (b.getWidth(), 40) << w << "x" << h << " row " << row;
                return;
            }
            EXPECT_NEAR (b.getX(), column_x (col), 1.0) << w << "x" << h << " row " << row << " column " << col;
            EXPECT_NEAR (b.getWidth(), column - 10, 1.0) << w << "x" << h << " row " << row << " column " << col;
        };

        check (canvas.kiln_label, 0, -1);
        const juce::Component* row1[] = { &canvas.kiln_value, &canvas.run_label, &canvas.run_value, &canvas.pkg_label, &canvas.pkg_value };
        for (int i = 0; i < 5; ++i)
            check (*row1[i], 0, i);
        const juce::Component* run_group[] = { &canvas.run_boards_label, &canvas.run_boards_value, &canvas.run_avg_label,
                                               &canvas.run_avg_value, &canvas.run_stdv_label, &canvas.run_stdv_value };
        const juce::Component* pkg_group[] = { &canvas.pkg_boards_label, &canvas.pkg_boards_value, &canvas.pkg_avg_label,
                                               &canvas.pkg_avg_value, &canvas.pkg_stdv_label, &canvas.pkg_stdv_value };
        for (int i = 0; i < 6; ++i)
        {
            check (*run_group[i], 0, 11 + i);
            check (*pkg_group[i], 4, 11 + i);
        }
        check (canvas.run_histogram_label, 1, -1);
        check (canvas.pkg_histogram_label, 3, -1);
        for (int i = 0; i < 17; ++i)
        {
            check (canvas.run_histogram_values[static_cast<std::size_t> (i)], 1, i);
            check (canvas.percent_labels[static_cast<std::size_t> (i)], 2, i);
            check (canvas.pkg_histogram_values[static_cast<std::size_t> (i)], 3, i);
        }
        EXPECT_EQ (canvas.chart.getBounds(), juce::Rectangle<int> (60, 160, w - 70, h - 170)) << w << "x" << h;
    }

    // A tab too small for its margins leaves nothing negative.
    canvas.setBounds (0, 0, 8, 8);
    canvas.resized();
    EXPECT_GE (canvas.chart.getWidth(), 0);
    EXPECT_GE (canvas.chart.getHeight(), 0);
}
} // namespace
