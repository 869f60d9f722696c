// The periodic refresh of a device tab: its number fields, tooltips and chart, and the board-count warning.

#include "device_tab_fixture.h"
#include "src-base/core/ZizString.h"
#include "src-wnd/vodaze.h"

#include <cstring>
#include <ctime>
#include <new>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace
{
using DeviceStatus = vurtest::DeviceTabFixture;

std::int64_t now() { return static_cast<std::int64_t> (std::time (nullptr)); }

using vurtest::count_of;

TEST_F (DeviceStatus, FieldsShowTheRunAndThePackageWithTwoDecimals)
{
    TabCanvas& canvas = make_canvas ("a");
    add_boards (canvas, { { 13.1, 1 }, { 14.1, 1 } });
    // One more board in an earlier package of the run.
    canvas.change ([] (ChannelState& state) {
        state.run_bucket.add (16.6);
        state.run_bucket.recompute_average();
    });
    canvas.update_status();

    EXPECT_EQ (canvas.run_boards_value.getText(), "3");
    EXPECT_EQ (canvas.run_avg_value.getText(), "14.60");
    EXPECT_EQ (canvas.run_stdv_value.getText(), "1.80");
    EXPECT_EQ (canvas.pkg_boards_value.getText(), "2");
    EXPECT_EQ (canvas.pkg_avg_value.getText(), "13.60");
    EXPECT_EQ (canvas.pkg_stdv_value.getText(), "0.71");
    for (std::size_t i = 0; i < 17; ++i)
    {
        const char* run = (i == 5 || i == 6 || i == 8) ? "1" : "0";
        const char* pkg = (i == 5 || i == 6) ? "1" : "0";
        EXPECT_EQ (canvas.run_histogram_values[i].getText(), run) << i;
        EXPECT_EQ (canvas.pkg_histogram_values[i].getText(), pkg) << i;
    }
    EXPECT_EQ (canvas.run_value.getText(), "001");
    EXPECT_EQ (canvas.kiln_value.getText(), "1");
}

TEST_F (DeviceStatus, TooltipsAndChartFollowTheSelectedTabOnly)
{
    TabCanvas& canvas = make_canvas ("a");
    canvas.setBounds (0, 0, 800, 500);
    const auto t = now();
    // Ages whose texts stay the same if a second passes meanwhile.
    canvas.started_time = t - 90000;
    canvas.kiln_changed_time = t - 600;
    canvas.run_changed_time = t - 7000;
    canvas.pkg_changed_time = t - 3000;
    canvas.change ([t] (ChannelState& state) { state.boards_changed_time = t - 4000; });

    // Hidden and not exported: only the fields change.
    canvas.update_status();
    EXPECT_EQ (canvas.percent_labels[16].getTooltip(), "");
    EXPECT_TRUE (canvas.chart.getImage().isNull());

    canvas.is_active_tab = true;
    canvas.update_status();
    EXPECT_EQ (canvas.chart.getImage().getBounds(), juce::Rectangle<int> (0, 0, 730, 330));
    const std::pair<juce::SettableTooltipClient*, const char*> tips[] = {
        { &canvas.percent_labels[16], "VUR started 25 hours ago" },
        { &canvas.kiln_label, "the kiln was last updated 10 minutes ago" },
        { &canvas.kiln_value, "the kiln was last updated 10 minutes ago" },
        { &canvas.run_label, "the run was last updated 116 minutes ago" },
        { &canvas.run_value, "the run was last updated 116 minutes ago" },
        { &canvas.pkg_label, "the package was last updated 50 minutes ago" },
        { &canvas.pkg_value, "the package was last updated 50 minutes ago" },
        { &canvas.run_boards_label, "the number of boards was last updated 66 minutes ago" },
        { &canvas.run_boards_value, "the number of boards was last updated 66 minutes ago" },
    };
    for (const auto& [component, text] : tips)
        EXPECT_EQ (component->getTooltip(), text);
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ (canvas.percent_labels[i].getTooltip(), "") << i;

    // Hidden again: the tooltips keep what they said when the tab was last shown.
    canvas.is_active_tab = false;
    canvas.started_time = t - 300000;
    add_boards (canvas, { { 12.0, 4 } });
    canvas.update_status();
    EXPECT_EQ (canvas.percent_labels[16].getTooltip(), "VUR started 25 hours ago");
    EXPECT_EQ (canvas.pkg_boards_value.getText(), "4");
}

// Selecting a tab refreshes it at once, without waiting for its timer.
TEST_F (DeviceStatus, SelectingATabRefreshesItsChartAndTooltips)
{
    add_quiet_device ("a", "Planer");
    add_quiet_device ("b", "Moulder");
    app->wnd = app->make_main_window();
    auto& notebook = app->wnd->notebook;
    auto* a = dynamic_cast<TabCanvas*> (notebook.getTabContentComponent (0));
    auto* b = dynamic_cast<TabCanvas*> (notebook.getTabContentComponent (1));
    ASSERT_NE (a, nullptr);
    ASSERT_NE (b, nullptr);
    EXPECT_TRUE (a->is_active_tab);
    EXPECT_FALSE (b->is_active_tab);
    EXPECT_EQ (b->percent_labels[16].getTooltip(), "");
    EXPECT_TRUE (b->chart.getImage().isNull());

    add_boards (*b, { { 15.5, 3 } });
    b->started_time -= 600;
    notebook.setCurrentTabIndex (1);
    EXPECT_FALSE (a->is_active_tab);
    EXPECT_TRUE (b->is_active_tab);
    EXPECT_EQ (b->percent_labels[16].getTooltip(), "VUR started 10 minutes ago");
    EXPECT_EQ (b->pkg_boards_value.getText(), "3");
    EXPECT_EQ (b->chart.getImage().getBounds(), b->chart.getLocalBounds());
    EXPECT_GE (b->chart.getWidth(), 75);
}

class BoardCountWarning : public vurtest::DeviceTabFixture
{
protected:
    TabCanvas& make_warning_canvas (const std::string& prefix = "a")
    {
        app->cfg->set_str ("warn_if_package_contains_too_many_boards", "true");
        app->cfg->set_str ("warn_board_threshold", "1500");
        app->cfg->set_str ("warn_seconds_between_warnings", "300");
        return make_canvas (prefix, "Planer #1");
    }

    std::size_t warnings_logged (const std::string& prefix = "a") const
    {
        return count_of (log_text(), "prefix=" + prefix + ": The number of boards for Planer #1 is unusually high.");
    }

    // The box's only button.
    static juce::TextButton* button_of (juce::AlertWindow& box)
    {
        for (auto* child : box.getChildren())
            if (auto* button = dynamic_cast<juce::TextButton*> (child))
                return button;
        return nullptr;
    }

    // Closes the open box by its button.
    static void close_box()
    {
        auto* box = open_box();
        ASSERT_NE (box, nullptr);
        auto* button = button_of (*box);
        ASSERT_NE (button, nullptr);
        button->triggerClick();
        // The click is handled from the message loop; the box is gone, and what its end set going has run,
        // once it is off the screen and a message posted after that has been delivered.
        ASSERT_TRUE (pump_until ([] { return open_boxes() == 0 && boxes_on_screen() == 0; }));
        ASSERT_TRUE (pump_pending());
    }
};

TEST_F (BoardCountWarning, WarnsOncePerGrowthAndPauseAfterTheBoxIsClosed)
{
    TabCanvas& canvas = make_warning_canvas();
    add_boards (canvas, { { 12.0, 1500 } });
    canvas.update_status();
    EXPECT_FALSE (canvas.warning.warning_showing);
    EXPECT_EQ (open_boxes(), 0);

    add_boards (canvas, { { 12.0, 1 } });
    canvas.update_status();
    EXPECT_TRUE (canvas.warning.warning_showing);
    EXPECT_EQ (canvas.warning.last_warning_board_count, 1501u);
    EXPECT_EQ (warnings_logged(), 1u);
    ASSERT_EQ (open_boxes(), 1);
    auto* box = open_box();
    ASSERT_NE (box, nullptr);
    EXPECT_TRUE (box->isVisible());
    EXPECT_EQ (box->getName(), "VUR - Planer #1");
    EXPECT_EQ (box->getNumButtons(), 1);
    ASSERT_NE (button_of (*box), nullptr);
    EXPECT_EQ (button_of (*box)->getButtonText(), "OK");

    // While the box is open, more boards raise nothing.
    add_boards (canvas, { { 12.0, 10 } });
    canvas.update_status();
    EXPECT_EQ (open_boxes(), 1);
    EXPECT_EQ (canvas.warning.last_warning_board_count, 1501u);
    EXPECT_EQ (warnings_logged(), 1u);

    // The pause counts from the box's closing, however long the closing takes.
    const auto before_closing = now();
    close_box();
    EXPECT_FALSE (canvas.warning.warning_showing);
    EXPECT_GE (canvas.warning.last_warning_time, before_closing);
    EXPECT_LE (canvas.warning.last_warning_time, now());

    // More boards, but within the pause after closing: nothing.
    add_boards (canvas, { { 12.0, 1 } });
    canvas.update_status();
    EXPECT_EQ (open_boxes(), 0);

    // The pause is over (the box was closed 301 seconds ago): the next box.
    canvas.warning.last_warning_time = now() - 301;
    canvas.update_status();
    EXPECT_EQ (open_boxes(), 1);
    EXPECT_EQ (canvas.warning.last_warning_board_count, 1512u);
    EXPECT_EQ (warnings_logged(), 2u);
    close_box();

    // No growth: no box, however long ago the last one was closed.
    canvas.warning.last_warning_time = now() - 100000;
    canvas.update_status();
    EXPECT_EQ (open_boxes(), 0);
    EXPECT_EQ (warnings_logged(), 2u);
}

TEST_F (BoardCountWarning, NewPackageWarnsAtOnceWithItsNumbersAndTheDate)
{
    TabCanvas& canvas = make_warning_canvas();
    add_boards (canvas, { { 12.0, 1600 } });
    canvas.update_status();
    close_box();
    ASSERT_GT (canvas.warning.last_warning_time, 0);

    canvas.pending_run = 7;
    canvas.pending_pkg = 12;
    canvas.apply_kiln_run_pkg_change();
    EXPECT_EQ (canvas.warning.last_warning_time, 0);
    EXPECT_EQ (canvas.warning.last_warning_board_count, 0u);

    add_boards (canvas, { { 12.0, 1501 } });
    canvas.update_status();
    ASSERT_EQ (open_boxes(), 1);
    EXPECT_EQ (warnings_logged(), 2u);

    // The box shows the message that is logged.
    const std::string log = log_text();
    const auto start = log.rfind ("prefix=a: The number of boards");
    ASSERT_NE (start, std::string::npos);
    const auto end = log.find ("lost.", start);
    ASSERT_NE (end, std::string::npos);
    const std::string message = log.substr (start + 10, end + 5 - start - 10);
    const std::regex expected ("The number of boards for Planer #1 is unusually high\\.\r\n\r\n"
                               "- Run: #007\r\n- Pkg: #012\r\n- Boards: 1501\r\n"
                               "- Date: \\d{4}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\\d{2}\r\n"
                               "- Time: \\d{2}:\\d{2}:\\d{2}\r\n\r\n"
                               "Please verify that the VUR OPC Console is still running and communication with "
                               "RSLinx has not been lost\\.");
    EXPECT_TRUE (std::regex_match (message, expected)) << message;
}

TEST_F (BoardCountWarning, SwitchedOffOrNegativeThresholdNeverWarns)
{
    struct Case
    {
        const char* enabled;
        const char* threshold;
    };
    const Case cases[] = { { "false", "1500" }, { "no", "10" }, { "true", "-1" }, { "true", "-2147483648" } };
    char prefix = 'a';
    for (const Case& c : cases)
    {
        SCOPED_TRACE (std::string (c.enabled) + " " + c.threshold);
        TabCanvas& canvas = make_canvas (std::string (1, prefix), "Planer #1");
        app->cfg->set_str ("warn_if_package_contains_too_many_boards", c.enabled);
        app->cfg->set_str ("warn_board_threshold", c.threshold);
        app->cfg->set_str ("warn_seconds_between_warnings", "0");
        add_boards (canvas, { { 12.0, 3000 } });
        canvas.update_status();
        EXPECT_FALSE (canvas.warning.warning_showing);
        EXPECT_EQ (open_boxes(), 0);
        EXPECT_EQ (warnings_logged (std::string (1, prefix)), 0u);
        ++prefix;
    }
}

TEST_F (BoardCountWarning, DevicesWarnEachWithTheirOwnBox)
{
    TabCanvas& a = make_warning_canvas ("a");
    TabCanvas& b = make_canvas ("b", "Planer #1");
    add_boards (a, { { 12.0, 1501 } });
    add_boards (b, { { 12.0, 1501 } });
    a.update_status();
    b.update_status();
    EXPECT_EQ (open_boxes(), 2);
    EXPECT_TRUE (a.warning.warning_showing);
    EXPECT_TRUE (b.warning.warning_showing);
}

// A box still open when its channel is destroyed (at shutdown) must leave the destroyed channel alone when it
// closes. The channel lives in storage the test owns, so that any write into it after destruction shows.
TEST_F (BoardCountWarning, ClosingABoxAfterItsChannelIsGoneTouchesNothing)
{
    make_warning_canvas ("x");   // settings and a port for the channel below
    canvases.clear();

    struct alignas (TabCanvas) Storage
    {
        unsigned char bytes[sizeof (TabCanvas)];
    };
    auto storage = std::make_unique<Storage>();
    auto* canvas = new (storage->bytes) TabCanvas ("x");
    add_boards (*canvas, { { 12.0, 1501 } });
    canvas->update_status();
    ASSERT_EQ (open_boxes(), 1);

    canvas->~TabCanvas();
    std::memset (storage->bytes, 0x5a, sizeof (storage->bytes));

    close_boxes();
    EXPECT_EQ (open_boxes(), 0);
    std::size_t touched = 0;
    for (unsigned char byte : storage->bytes)
        touched += byte == 0x5a ? 0 : 1;
    EXPECT_EQ (touched, 0u);
}
} // namespace

namespace
{
// A call from the wrong thread is a race that a test rarely shows: debug builds stop at once and say which
// entry point was called from where.
TEST_F (DeviceStatus, DebugBuildsStopACallFromTheWrongThread)
{
#if JUCE_DEBUG
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    TabCanvas& canvas = make_canvas ("a");
    EXPECT_DEATH (
        {
            std::thread other ([&canvas] { canvas.update_status(); });
            other.join();
        },
        "update_status was called on a thread of no name, but may only be called on the message thread");
    // The reading thread runs: nobody else may read the meter.
    ASSERT_TRUE (canvas.isThreadRunning());
    EXPECT_DEATH (
        {
            std::string text;
            std::vector<char> buffer (16);
            canvas.read_serial (text, buffer);
        },
        "read_serial was called on a thread of no name, but may only be called on its own thread");
    // What any thread may do.
    std::thread reader ([&canvas] {
        canvas.change ([] (ChannelState& state) { state.pkg_bucket.add (12.0); });
        EXPECT_EQ (canvas.figures().pkg_count, 1u);
    });
    reader.join();
#else
    GTEST_SKIP() << "release builds do not check threads";
#endif
}
} // namespace
