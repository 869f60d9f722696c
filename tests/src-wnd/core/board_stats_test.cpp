#include "src-wnd/core/board_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

TEST (MoistureBin, TruncatesAndClampsAtBothEnds)
{
    struct Case
    {
        double value;
        int bin;
    };
    const Case cases[] = {
        { -3.0, 0 }, { 0.5, 0 }, { 8.99, 0 }, { 9.0, 1 }, { 9.5, 1 }, { 14.0, 6 }, { 14.2, 6 }, { 14.99, 6 },
        { 23.99, 15 }, { 24.0, 16 }, { 30.0, 16 }, { 1e300, 16 }, { std::numeric_limits<double>::quiet_NaN(), 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (moisture_bin (c.value), c.bin) << "value " << c.value;
}

TEST (BoardBucket, AddKeepsSumHistogramAndOrderAverageWaitsForRecompute)
{
    BoardBucket bucket;
    for (const double v : { 14.2, 9.5, 25.0, 14.9 })
        bucket.add (v);

    EXPECT_EQ (bucket.values, (std::vector<double> { 14.2, 9.5, 25.0, 14.9 }));
    EXPECT_DOUBLE_EQ (bucket.sum, 14.2 + 9.5 + 25.0 + 14.9);
    EXPECT_EQ (bucket.average, 0.0);
    EXPECT_EQ (bucket.histogram[1], 1u);
    EXPECT_EQ (bucket.histogram[6], 2u);
    EXPECT_EQ (bucket.histogram[16], 1u);
    EXPECT_EQ (std::accumulate (bucket.histogram.begin(), bucket.histogram.end(), std::uint64_t { 0 }), 4u);

    bucket.recompute_average();
    EXPECT_DOUBLE_EQ (bucket.average, bucket.sum / 4);

    bucket.stddev = 1.0;
    bucket.reset();
    EXPECT_TRUE (bucket.empty());
    EXPECT_EQ (bucket.sum, 0.0);
    EXPECT_EQ (bucket.average, 0.0);
    EXPECT_EQ (bucket.stddev, 0.0);
    for (const auto count : bucket.histogram)
        EXPECT_EQ (count, 0u);

    // An empty bucket keeps its stored average rather than dividing by zero.
    bucket.average = 3.0;
    bucket.recompute_average();
    EXPECT_EQ (bucket.average, 3.0);
}

TEST (BoardBucket, DeviationIsSampleDeviationAroundStoredAverage)
{
    BoardBucket bucket;
    bucket.add (14.2);
    bucket.update_deviation();
    EXPECT_EQ (bucket.stddev, 0.0);  // one value

    bucket.add (9.5);
    bucket.recompute_average();
    bucket.update_deviation();
    EXPECT_NEAR (bucket.stddev, 3.3234018715767737, 1e-12);

    // The stored average is what the deviation is taken around, even when it is stale.
    bucket.average = 0.0;
    bucket.update_deviation();
    EXPECT_NEAR (bucket.stddev, std::sqrt (14.2 * 14.2 + 9.5 * 9.5), 1e-12);

    bucket.reset();
    bucket.stddev = 5.0;
    bucket.update_deviation();
    EXPECT_EQ (bucket.stddev, 0.0);  // empty
}
