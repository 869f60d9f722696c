#pragma once

// The boards of one bucket (the current run, or the current package): their values in order of arrival, the
// sum, the average, the sample standard deviation and the moisture histogram. A channel keeps two buckets and
// guards both with its lock; nothing here locks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int moisture_bin_count = 17;

// Bin of a board value: its integer part (truncated toward zero) minus 8, limited to 0..16, so bin i holds
// the values from i + 8 up to i + 9 per cent, bin 0 everything below 9 and bin 16 everything from 24 on.
inline int moisture_bin (double value)
{
    // Compared as doubles first: converting a huge value to int would be undefined.
    if (! (value >= 9.0))
        return 0;
    if (value >= 24.0)
        return moisture_bin_count - 1;
    return static_cast<int> (value) - 8;
}

struct BoardBucket
{
    std::vector<double> values;
    double sum = 0.0;
    double average = 0.0;
    double stddev = 0.0;
    std::array<std::uint64_t, moisture_bin_count> histogram {};

    // Appends the value, adds it to the sum and counts it in its bin. The average is left for
    // recompute_average, so that a batch of values costs one division.
    void add (double value)
    {
        values.push_back (value);
        sum += value;
        ++histogram[static_cast<std::size_t> (moisture_bin (value))];
    }

    // average = sum / number of values; an empty bucket keeps its stored average (0 after a reset).
    void recompute_average();

    // Sample standard deviation (divisor n - 1) around the stored average, 0 for fewer than two values.
    // Costs one pass over the values, so it runs at the display refresh rate, not per board.
    void update_deviation();

    // Empties the values and zeroes sum, average, deviation and histogram.
    void reset();

    std::size_t size() const { return values.size(); }
    bool empty() const { return values.empty(); }
};
