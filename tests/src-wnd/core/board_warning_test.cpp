#include "src-wnd/core/board_warning.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
enum class Step
{
    refresh,  // a refresh with `boards` in the package at time `at`
    close,    // the operator closes the box at time `at`
    reset     // a package change
};

struct Action
{
    Step step;
    std::uint64_t boards;
    std::int64_t at;
    bool expect_warning;  // for refresh steps
};

struct Scenario
{
    const char* name;
    bool enabled;
    std::int32_t threshold;
    std::int32_t seconds_between;
    std::vector<Action> actions;
};

const std::int64_t t0 = 1'549'450'000;

const Scenario scenarios[] = {
    { "threshold is exceeded only by more boards", true, 1500, 300,
      { { Step::refresh, 1500, t0, false }, { Step::refresh, 1501, t0 + 1, true } } },
    { "nothing more while the box is open", true, 1500, 300,
      { { Step::refresh, 1501, t0, true }, { Step::refresh, 1600, t0 + 1000, false },
        { Step::refresh, 5000, t0 + 100000, false } } },
    { "after closing, the same count never warns again", true, 1500, 300,
      { { Step::refresh, 1501, t0, true }, { Step::close, 0, t0 + 10, false },
        { Step::refresh, 1501, t0 + 100000, false } } },
    { "the next warning needs more boards and more time after closing", true, 1500, 300,
      { { Step::refresh, 1501, t0, true },
        { Step::close, 0, t0 + 10, false },
        { Step::refresh, 1502, t0 + 310, false },     // exactly 300 s after closing
        { Step::refresh, 1502, t0 + 311, true } } },
    { "time alone counts from the close, not from the warning", true, 10, 60,
      { { Step::refresh, 11, t0, true }, { Step::close, 0, t0 + 500, false }, { Step::refresh, 12, t0 + 501, false },
        { Step::refresh, 12, t0 + 561, true } } },
    { "a package change warns again at once", true, 1500, 300,
      { { Step::refresh, 2000, t0, true },
        { Step::close, 0, t0 + 5, false },
        { Step::reset, 0, t0 + 6, false },
        { Step::refresh, 0, t0 + 7, false },
        { Step::refresh, 1501, t0 + 8, true } } },
    { "a change while the box is open does not close it", true, 1500, 300,
      { { Step::refresh, 2000, t0, true }, { Step::reset, 0, t0 + 1, false }, { Step::refresh, 1600, t0 + 2, false },
        { Step::close, 0, t0 + 3, false }, { Step::refresh, 1600, t0 + 4, false },
        { Step::refresh, 1600, t0 + 304, true } } },
    { "switched off never warns", false, 1500, 300,
      { { Step::refresh, 1'000'000, t0, false } } },
    { "a negative threshold never warns", true, -1, 300,
      { { Step::refresh, 1'000'000'000'000ULL, t0, false } } },
    { "threshold 0 warns at the first board", true, 0, 300,
      { { Step::refresh, 0, t0, false }, { Step::refresh, 1, t0, true } } },
    { "a negative interval lets the next warning follow the close at once", true, 5, -1,
      { { Step::refresh, 6, t0, true }, { Step::close, 0, t0, false }, { Step::refresh, 7, t0, true } } },
};
} // namespace

TEST (BoardWarning, FollowsThePackageAndTheOperator)
{
    for (const Scenario& s : scenarios)
    {
        BoardWarningState state;
        int index = 0;
        for (const Action& a : s.actions)
        {
            switch (a.step)
            {
                case Step::refresh:
                    EXPECT_EQ (state.check (s.enabled, a.boards, s.threshold, s.seconds_between, a.at), a.expect_warning)
                        << s.name << ", step " << index;
                    break;
                case Step::close: state.closed (a.at); break;
                case Step::reset: state.reset(); break;
            }
            ++index;
        }
    }
}

TEST (BoardWarning, RecordsTheCountOfTheWarningAndTheTimeOfTheClose)
{
    BoardWarningState state;
    ASSERT_TRUE (state.check (true, 1501, 1500, 300, t0));
    EXPECT_TRUE (state.warning_showing);
    EXPECT_EQ (state.last_warning_board_count, 1501u);
    EXPECT_EQ (state.last_warning_time, 0);
    state.closed (t0 + 42);
    EXPECT_FALSE (state.warning_showing);
    EXPECT_EQ (state.last_warning_time, t0 + 42);
}

TEST (BoardWarning, ThresholdIsWidenedWithItsSign)
{
    EXPECT_FALSE (board_count_warrants_warning (UINT64_MAX, -1, 0));
    EXPECT_FALSE (board_count_warrants_warning (1'000'000'000'000ULL, INT32_MIN, 0));
    EXPECT_TRUE (board_count_warrants_warning (2'147'483'648ULL, INT32_MAX, 0));
    EXPECT_FALSE (board_count_warrants_warning (2'147'483'647ULL, INT32_MAX, 0));
}

TEST (BoardWarning, MessageAndTitleText)
{
    EXPECT_EQ (warning_message ("Planer #1", "007", "012", 1501, "2019-Feb-06", "13:04:05"),
               "The number of boards for Planer #1 is unusually high.\r\n"
               "\r\n"
               "- Run: #007\r\n"
               "- Pkg: #012\r\n"
               "- Boards: 1501\r\n"
               "- Date: 2019-Feb-06\r\n"
               "- Time: 13:04:05\r\n"
               "\r\n"
               "Please verify that the VUR OPC Console is still running and communication with RSLinx has not been "
               "lost.");
    EXPECT_EQ (warning_title ("Moulder"), "VUR - Moulder");
}
