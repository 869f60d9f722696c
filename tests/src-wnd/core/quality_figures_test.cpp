#include "src-wnd/core/quality_figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

TEST (QualityShares, CountOnlyValuesStrictlyBeyondTheLimit)
{
    struct Case
    {
        std::vector<double> values;
        double wet;
        double dry;
    };
    const Case cases[] = {
        { {}, 0.0, 0.0 },
        // On the limit is neither wet nor dry.
        { { 19.0, 10.0 }, 0.0, 0.0 },
        { { 19.01, 9.99, 14.0, 15.0 }, 0.25, 0.25 },
        { { 25.0, 30.0, 20.0 }, 1.0, 0.0 },
        { { 5.0, 8.0, 12.0, 19.5, 21.0 }, 0.4, 0.4 },
        // A NaN (no number from a meter) is neither.
        { { std::numeric_limits<double>::quiet_NaN(), 20.0 }, 0.5, 0.0 },
    };
    for (const auto& c : cases)
    {
        EXPECT_DOUBLE_EQ (wet_share (c.values, 19.0), c.wet) << "values " << c.values.size();
        EXPECT_DOUBLE_EQ (dry_share (c.values, 10.0), c.dry) << "values " << c.values.size();
    }
}

TEST (Percentile, NearestRankIsAlwaysAMeasuredValue)
{
    struct Case
    {
        std::vector<double> values;
        double p;
        double expected;
    };
    // Ranks: ceil(p/100 * n), within 1..n.
    const Case cases[] = {
        { { 7.0 }, 0.0, 7.0 },
        { { 7.0 }, 95.0, 7.0 },
        { { 15.0, 20.0, 35.0, 40.0, 50.0 }, 5.0, 15.0 },   // rank 1
        { { 15.0, 20.0, 35.0, 40.0, 50.0 }, 30.0, 20.0 },  // rank 2 (1.5 up)
        { { 15.0, 20.0, 35.0, 40.0, 50.0 }, 40.0, 20.0 },  // rank 2 exactly
        { { 15.0, 20.0, 35.0, 40.0, 50.0 }, 50.0, 35.0 },  // rank 3 (2.5 up)
        { { 15.0, 20.0, 35.0, 40.0, 50.0 }, 100.0, 50.0 }, // rank 5
        { { 50.0, 15.0, 40.0, 20.0, 35.0 }, 50.0, 35.0 },  // order of arrival does not matter
        { { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 }, 95.0, 19.0 }, // rank 19
        { { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 }, 96.0, 20.0 }, // rank 19.2 up
        { { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 }, 5.0, 1.0 },
        { { 3.0, 1.0, 2.0 }, -10.0, 1.0 },
        { { 3.0, 1.0, 2.0 }, 250.0, 3.0 },
        { { 3.0, 1.0, 2.0 }, std::numeric_limits<double>::quiet_NaN(), 1.0 },
    };
    for (const auto& c : cases)
    {
        const auto got = percentile (c.values, c.p);
        ASSERT_TRUE (got.has_value());
        EXPECT_EQ (*got, c.expected) << "p " << c.p << " of " << c.values.size() << " values";
    }
    EXPECT_FALSE (percentile ({}, 50.0).has_value());
}

TEST (MovingAverage, TrailingWindowThatFillsFromTheStart)
{
    struct Case
    {
        std::vector<double> values;
        std::size_t window;
        std::vector<double> expected;
    };
    const Case cases[] = {
        { {}, 25, {} },
        { { 2.0, 4.0, 6.0, 8.0 }, 1, { 2.0, 4.0, 6.0, 8.0 } },
        { { 2.0, 4.0, 6.0, 8.0 }, 0, { 2.0, 4.0, 6.0, 8.0 } },
        { { 2.0, 4.0, 6.0, 8.0 }, 2, { 2.0, 3.0, 5.0, 7.0 } },
        { { 2.0, 4.0, 6.0, 8.0 }, 3, { 2.0, 3.0, 4.0, 6.0 } },
        { { 2.0, 4.0, 6.0, 8.0 }, 25, { 2.0, 3.0, 4.0, 5.0 } },
    };
    for (const auto& c : cases)
    {
        const auto got = moving_average (c.values, c.window);
        ASSERT_EQ (got.size(), c.expected.size()) << "window " << c.window;
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_DOUBLE_EQ (got[i], c.expected[i]) << "window " << c.window << " at " << i;
    }
}

TEST (KilnBaseline, MedianOfTheLastRunsDeviations)
{
    struct Case
    {
        std::vector<double> deviations; // oldest first
        std::size_t runs;
        std::optional<double> expected;
    };
    const Case cases[] = {
        { {}, 20, std::nullopt },
        { { 1.5 }, 20, 1.5 },
        { { 3.0, 1.0, 2.0 }, 20, 2.0 },
        { { 4.0, 1.0, 3.0, 2.0 }, 20, 2.5 },
        // Only the last `runs` count: the old wide runs fall out.
        { { 9.0, 9.0, 9.0, 1.0, 2.0, 3.0 }, 3, 2.0 },
        { { 9.0, 9.0, 1.0, 2.0 }, 2, 1.5 },
        { { 9.0, 1.0 }, 0, std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ (kiln_baseline (c.deviations, c.runs), c.expected) << c.deviations.size() << " runs, last " << c.runs;
}

TEST (QualitySummary, AllFiguresOfOneSetAndNoneOfAnEmptyOne)
{
    const std::vector<double> values { 12.0, 8.0, 20.0, 14.0, 16.0 };
    const auto s = summarize (values, MoistureLimits { 19.0, 10.0 });
    EXPECT_EQ (s.count, 5u);
    EXPECT_DOUBLE_EQ (s.mean, 14.0);
    EXPECT_DOUBLE_EQ (s.deviation, std::sqrt (80.0 / 4.0));
    EXPECT_EQ (s.p5, 8.0);
    EXPECT_EQ (s.p50, 14.0);
    EXPECT_EQ (s.p95, 20.0);
    EXPECT_DOUBLE_EQ (s.wet_share, 0.2);
    EXPECT_DOUBLE_EQ (s.dry_share, 0.2);

    const auto empty = summarize ({}, MoistureLimits {});
    EXPECT_EQ (empty.count, 0u);
    EXPECT_EQ (empty.mean, 0.0);
    EXPECT_EQ (empty.p95, 0.0);

    EXPECT_EQ (sample_deviation ({ 4.0 }), 0.0);
    EXPECT_DOUBLE_EQ (sample_deviation ({ 2.0, 4.0 }), std::sqrt (2.0));
}

// The summary selects its percentiles without sorting the whole set: on sets of every shape (few and many
// values, repeats, a meter stuck on one value, values in and against order) they are the ranks of the sorted set.
TEST (QualitySummary, PercentilesAreThoseOfTheSortedSetWhateverItsShape)
{
    std::mt19937 random (20261211);
    std::uniform_int_distribution<int> tenths (80, 240);
    for (const std::size_t n : { 1u, 2u, 3u, 19u, 20u, 21u, 100u, 1001u, 20000u })
        for (const char* shape : { "random", "rising", "falling", "stuck" })
        {
            std::vector<double> values (n);
            for (std::size_t i = 0; i < n; ++i)
                values[i] = std::string (shape) == "random"   ? tenths (random) / 10.0
                          : std::string (shape) == "rising"   ? 8.0 + static_cast<double> (i) * 0.01
                          : std::string (shape) == "falling" ? 30.0 - static_cast<double> (i) * 0.01
                                                              : 14.2;
            const auto s = summarize (values, MoistureLimits {});
            EXPECT_EQ (s.p5, *percentile (values, 5.0)) << shape << " " << n;
            EXPECT_EQ (s.p50, *percentile (values, 50.0)) << shape << " " << n;
            EXPECT_EQ (s.p95, *percentile (values, 95.0)) << shape << " " << n;
        }
}
