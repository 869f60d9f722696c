#include "src-vur/core/load_progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// The units of a load with both web steps off and the four default devices in a store of 30 keys:
// start, discovery, one per key examined, one per device given its defaults, the final text, the pause.
std::vector<double> loadWithoutWebSteps()
{
    std::vector<double> units { 5, 1 };
    units.insert (units.end(), 30, 1);
    units.insert (units.end(), 4, 1);
    units.push_back (1);
    units.insert (units.end(), 10, 1);
    return units;
}

struct StoreReads
{
    int value;
    int calls = 0;
    LoadProgress::StoredTotalReader reader()
    {
        return [this] { ++calls; return value; };
    }
};

TEST (LoadProgress, FirstLoadScalesToAHundredAndStoresWhatItTook)
{
    StoreReads store { 100 }; // the key is missing: the store answers with the fallback
    LoadProgress progress (store.reader());
    EXPECT_EQ (store.calls, 0) << "read only when the bar first moves";

    std::vector<std::string> lines;
    for (double units : loadWithoutWebSteps())
        lines.push_back (progress.add_units (units));

    EXPECT_EQ (store.calls, 1);
    EXPECT_EQ (lines.front(), "update progress bar: 5/100 = 5.0%");
    EXPECT_EQ (lines[1], "update progress bar: 6/100 = 6.0%");
    EXPECT_EQ (lines.back(), "update progress bar: 51/100 = 51.0%");
    EXPECT_DOUBLE_EQ (progress.items_done(), 51);
    EXPECT_DOUBLE_EQ (progress.ratio(), 0.51);
    EXPECT_EQ (progress.total_to_store(), 51);

    // The next start scales to that number and ends exactly at the end: nothing to store.
    StoreReads next { 51 };
    LoadProgress second (next.reader());
    std::string last;
    for (double units : loadWithoutWebSteps())
        last = second.add_units (units);
    EXPECT_EQ (last, "update progress bar: 51/51 = 100.0%");
    EXPECT_DOUBLE_EQ (second.ratio(), 1.0);
    EXPECT_EQ (second.total_to_store(), std::nullopt);
}

TEST (LoadProgress, ALongerLoadPassesOneAndGrowsTheStoredTotal)
{
    StoreReads store { 40 };
    LoadProgress progress (store.reader());
    std::string last;
    for (double units : loadWithoutWebSteps())
        last = progress.add_units (units);

    EXPECT_EQ (last, "update progress bar: 51/40 = 127.5%");
    EXPECT_DOUBLE_EQ (progress.ratio(), 1.275);
    EXPECT_EQ (progress.total_to_store(), 51);
}

TEST (LoadProgress, NonsenseStoredTotalsCountAsAHundred)
{
    for (int stored : { 0, -7 })
    {
        StoreReads store { stored };
        LoadProgress progress (store.reader());
        EXPECT_EQ (progress.add_units (5), "update progress bar: 5/100 = 5.0%") << stored;
        EXPECT_EQ (store.calls, 1);
    }
}

TEST (LoadProgress, TheRunningTotalNeverDropsBelowOne)
{
    StoreReads store { 3 };
    LoadProgress progress (store.reader());
    EXPECT_EQ (progress.add_units (0), "update progress bar: 1/3 = 33.3%");
    EXPECT_EQ (progress.add_units (-5), "update progress bar: 1/3 = 33.3%");
    EXPECT_EQ (progress.add_units (0.5), "update progress bar: 1.5/3 = 50.0%");
}

TEST (StatusMessages, HumorousTextOnlyAtTheTopTenthOfDraws)
{
    EXPECT_EQ (humorous_status_messages.size(), 29u);
    EXPECT_TRUE (std::is_sorted (humorous_status_messages.begin(), humorous_status_messages.end(),
                                 [] (const char* a, const char* b) { return std::strcmp (a, b) < 0; }));

    struct Case
    {
        float draw;
        int index;
        const char* expected;
    };
    const Case cases[] = {
        { 0.0f, 0, "Starting..." },
        { 0.8999f, 5, "Starting..." },
        { 0.9f, 0, "Beam me up..." },
        { 0.95f, 12, "Making him an offer he can't refuse..." },
        { 0.9999f, 28, "You talking to me?" },
        { 0.95f, 29, "Starting..." },
        { 0.95f, -1, "Starting..." },
    };
    for (const auto& c : cases)
        EXPECT_EQ (pick_status_message (c.draw, c.index), c.expected) << c.draw << " " << c.index;
}
} // namespace
