#include "src-wnd/core/board_stats.h"

#include <cmath>

void BoardBucket::recompute_average()
{
    if (! values.empty())
        average = sum / static_cast<double> (values.size());
}

void BoardBucket::update_deviation()
{
    if (values.size() < 2)
    {
        stddev = 0.0;
        return;
    }
    double squares = 0.0;
    for (const double v : values)
        squares += (v - average) * (v - average);
    stddev = std::sqrt (squares / static_cast<double> (values.size() - 1));
}

void BoardBucket::reset()
{
    values.clear();
    sum = 0.0;
    average = 0.0;
    stddev = 0.0;
    histogram.fill (0);
}
