#include "src-wnd/core/chart_geometry.h"

#include <gtest/gtest.h>

namespace
{
ChartHistogram histogram (std::initializer_list<std::pair<int, std::uint64_t>> counts)
{
    ChartHistogram h {};
    for (const auto& [bin, count] : counts)
        h[static_cast<std::size_t> (bin)] = count;
    return h;
}
} // namespace

TEST (ChartGeometry, ChartsBelowTheMinimumSizeGetOnlyTheirFrame)
{
    const auto full = histogram ({ { 3, 10 } });
    for (auto [w, h] : { std::pair { 74, 300 }, { 300, 74 }, { 0, 0 }, { 74, 74 } })
    {
        const ChartGeometry g = chart_geometry (w, h, full, full, 2);
        EXPECT_TRUE (g.frame_only) << w << "x" << h;
        EXPECT_EQ (g.frame.width, w);
        EXPECT_EQ (g.frame.height, h);
        EXPECT_TRUE (g.bins.empty());
        EXPECT_TRUE (g.horizontal_grid.empty());
        EXPECT_TRUE (g.vertical_grid.empty());
        EXPECT_TRUE (g.error_boxes.empty());
    }
    EXPECT_FALSE (chart_geometry (75, 75, full, full, 0).frame_only);
}

TEST (ChartGeometry, EmptyHistogramsDrawNoBarsButKeepGridAndLabels)
{
    const ChartGeometry g = chart_geometry (340, 200, {}, {}, 0);
    ASSERT_FALSE (g.frame_only);
    ASSERT_EQ (g.bins.size(), 17u);
    for (const ChartBin& bin : g.bins)
    {
        EXPECT_FALSE (bin.run_bar.has_value());
        EXPECT_FALSE (bin.pkg_bar.has_value());
    }
    EXPECT_EQ (g.horizontal_grid.size(), 4u);
    EXPECT_EQ (g.vertical_grid.size(), 16u);
    EXPECT_EQ (g.bins.front().label_text, "8%");
    EXPECT_EQ (g.bins.back().label_text, "24%");
    EXPECT_EQ (g.title_box.x, 3);
    EXPECT_EQ (g.title_box.y, 3);
    EXPECT_EQ (g.title_box.width, 334);
    EXPECT_EQ (g.title_box.height, 6);
}

TEST (ChartGeometry, BarsScaleToTheirOwnLargestBin)
{
    const float W = 680.0f;
    const float H = 300.0f;
    const float col = W / 17.0f;
    // Run: bin 2 full, bin 5 half. Package: one board in bin 16, which alone fills the height.
    const ChartGeometry g = chart_geometry (680, 300, histogram ({ { 2, 40 }, { 5, 20 } }), histogram ({ { 16, 1 } }), 0);

    ASSERT_TRUE (g.bins[2].run_bar.has_value());
    const ChartRect full = *g.bins[2].run_bar;
    EXPECT_FLOAT_EQ (full.y, 2.0f);
    EXPECT_FLOAT_EQ (full.y + full.height, H - 15.0f);
    EXPECT_FLOAT_EQ (full.x, 2.0f * col + col / 7.0f);
    EXPECT_FLOAT_EQ (full.width, col * 3.0f / 7.0f);

    ASSERT_TRUE (g.bins[5].run_bar.has_value());
    EXPECT_FLOAT_EQ (g.bins[5].run_bar->y, H / 2.0f + 2.0f);
    EXPECT_FLOAT_EQ (g.bins[5].run_bar->y + g.bins[5].run_bar->height, H - 15.0f);

    ASSERT_TRUE (g.bins[16].pkg_bar.has_value());
    const ChartRect pkg = *g.bins[16].pkg_bar;
    EXPECT_FLOAT_EQ (pkg.y, 2.0f);
    EXPECT_FLOAT_EQ (pkg.x, 16.0f * col + col * 3.0f / 7.0f);

    for (int i = 0; i < 17; ++i)
    {
        EXPECT_EQ (g.bins[static_cast<std::size_t> (i)].run_bar.has_value(), i == 2 || i == 5) << i;
        EXPECT_EQ (g.bins[static_cast<std::size_t> (i)].pkg_bar.has_value(), i == 16) << i;
    }
}

TEST (ChartGeometry, ASmallCountOnATallScaleHasNoBar)
{
    // 1 of 1000 on a 100-pixel chart: the bar's top falls below the baseline.
    const ChartGeometry g = chart_geometry (170, 100, histogram ({ { 0, 1000 }, { 1, 1 } }), {}, 0);
    EXPECT_TRUE (g.bins[0].run_bar.has_value());
    EXPECT_FALSE (g.bins[1].run_bar.has_value());
}

TEST (ChartGeometry, GridLabelsAndErrorBoxesSitWhereTheyAreDrawn)
{
    const ChartGeometry g = chart_geometry (500, 400, {}, {}, 3);
    const float W = 500.0f;
    const float H = 400.0f;

    const float fractions[] = { 0.2f, 0.4f, 0.6f, 0.8f };
    for (std::size_t i = 0; i < 4; ++i)
    {
        EXPECT_FLOAT_EQ (g.horizontal_grid[i].x, 0.0f);
        EXPECT_FLOAT_EQ (g.horizontal_grid[i].y, fractions[i] * H);
        EXPECT_FLOAT_EQ (g.horizontal_grid[i].width, W);
        EXPECT_FLOAT_EQ (g.horizontal_grid[i].height, 1.0f);
    }
    EXPECT_FLOAT_EQ (g.vertical_grid.front().x, W / 17.0f);
    EXPECT_FLOAT_EQ (g.vertical_grid.back().x, 16.0f / 17.0f * W);
    EXPECT_FLOAT_EQ (g.vertical_grid.back().width, 1.0f);
    EXPECT_FLOAT_EQ (g.vertical_grid.back().height, H);

    // Column width 29.41...: label boxes start 3 into their column, 23 wide, 15 high on the baseline.
    const int expected_x[] = { 3, 32, 61, 91, 120, 150, 179, 208, 238, 267, 297, 326, 355, 385, 414, 444, 473 };
    for (std::size_t k = 0; k < 17; ++k)
    {
        const ChartBox box = g.bins[k].label_box;
        EXPECT_EQ (box.x, expected_x[k]) << k;
        EXPECT_EQ (box.y, 385);
        EXPECT_EQ (box.width, 23);
        EXPECT_EQ (box.height, 15);
        EXPECT_EQ (g.bins[k].label_text, std::to_string (k + 8) + "%");
    }

    ASSERT_EQ (g.error_boxes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_FLOAT_EQ (g.error_boxes[i].x, 10.0f);
        EXPECT_FLOAT_EQ (g.error_boxes[i].y, 20.0f * static_cast<float> (i + 1));
        EXPECT_FLOAT_EQ (g.error_boxes[i].width, W - 20.0f);
        EXPECT_FLOAT_EQ (g.error_boxes[i].height, 20.0f);
    }
}
