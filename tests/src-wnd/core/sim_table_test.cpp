#include "src-wnd/core/meter_reading.h"
#include "src-wnd/core/sim_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <vector>

namespace
{
// "14.8" -> 148: exact comparisons in tenths.
int tenths (const std::string& reading)
{
    return (reading[0] - '0') * 100 + (reading[1] - '0') * 10 + (reading[3] - '0');
}

int median (std::vector<int> values)
{
    std::nth_element (values.begin(), values.begin() + static_cast<long> (values.size() / 2), values.end());
    return values[values.size() / 2];
}
} // namespace

TEST (SimulationTable, HasTheRecordedShape)
{
    const auto& table = simulation_table();
    ASSERT_EQ (table.size(), 3393u);

    const char* const head[] = { "14.8\t14.2\r\n", "15.6\t15.0\r\n", "16.0\t15.1\r\n", "15.4\t14.8\r\n",
                                 "14.2\t13.5\r\n", "16.4\t15.6\r\n", "28.0\t21.2\r\n", "15.3\t14.4\r\n" };
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ (table[i], head[i]) << "row " << i + 1;

    const std::regex form (R"(\d\d\.\d\t\d\d\.\d\r\n)");
    std::vector<int> firsts;
    std::vector<int> averages;
    std::vector<std::size_t> zeroRows;
    for (std::size_t i = 0; i < table.size(); ++i)
    {
        const std::string& row = table[i];
        ASSERT_TRUE (std::regex_match (row, form)) << "row " << i + 1;
        const int first = tenths (row.substr (0, 4));
        const int average = tenths (row.substr (5, 4));
        EXPECT_LT (average, first) << "row " << i + 1;
        firsts.push_back (first);
        averages.push_back (average);
        if (average == 0)
            zeroRows.push_back (i + 1);
    }

    EXPECT_EQ (zeroRows, (std::vector<std::size_t> { 1384, 1385, 1938 }));
    EXPECT_EQ (table[1383], "14.2\t00.0\r\n");
    EXPECT_EQ (table[1384], "13.9\t00.0\r\n");
    EXPECT_EQ (table[1937], "14.3\t00.0\r\n");

    EXPECT_EQ (std::set<std::string> (table.begin(), table.end()).size(), 587u);

    EXPECT_EQ (*std::min_element (firsts.begin(), firsts.end()), 117);
    EXPECT_EQ (*std::max_element (firsts.begin(), firsts.end()), 280);
    EXPECT_EQ (median (firsts), 140);
    EXPECT_EQ (*std::min_element (averages.begin(), averages.end()), 0);
    EXPECT_EQ (*std::max_element (averages.begin(), averages.end()), 247);
    EXPECT_EQ (median (averages), 131);
}

TEST (SimulationTable, EveryRowIsOneReadingOfTheDefaultPattern)
{
    const std::regex pattern (R"(\s*([\d.]{4})\s+([\d.]{4})\s*)");
    int invalid = 0;
    for (const auto& row : simulation_table())
    {
        std::string pending = row;
        const auto readings = take_readings (pending, pattern);
        ASSERT_EQ (readings.size(), 1u) << row;
        EXPECT_TRUE (pending.empty());
        EXPECT_TRUE (readings[0].is_board());
        invalid += readings[0].invalid_average ? 1 : 0;
    }
    EXPECT_EQ (invalid, 3);
}

TEST (SimulationTable, PositionsWrapAround)
{
    const auto& table = simulation_table();
    EXPECT_EQ (simulation_row (0), table.front());
    EXPECT_EQ (simulation_row (3392), table.back());
    EXPECT_EQ (simulation_row (3393), table.front());
    EXPECT_EQ (simulation_row (UINT64_MAX), table[UINT64_MAX % 3393]);
}
