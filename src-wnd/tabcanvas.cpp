// Construction, the refresh timer, the reading thread's entry and destruction of a device channel.

#include "src-wnd/tabcanvas.h"
#include "src-wnd/refresh_tick.h"
#include "src-wnd/thread_contract.h"

#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-base/core/wall_clock.h"

const juce::Colour TabCanvas::run_colour (230, 204, 242);
const juce::Colour TabCanvas::pkg_colour (192, 192, 255);

TabCanvas::TabCanvas (const std::string& device_prefix) : TabCanvas (device_prefix, cfg_store()) {}

TabCanvas::TabCanvas (const std::string& device_prefix, Cfg& settings, const std::vector<std::string>* window_error_messages)
    : juce::Thread ("thread for device prefix " + juce::String::fromUTF8 (device_prefix.c_str())),
      cfg (settings),
      window_errors (window_error_messages),
      prefix (device_prefix)
{
    shown_device_name = cfg.shown_name (prefix);
    opc_output_filename = cfg.get_str ("opc_output_filename");
    kiln_register = cfg.get_str (prefix + "_opc_kiln_register") + "=";
    run_register = cfg.get_str (prefix + "_opc_run_register") + "=";
    pkg_register = cfg.get_str (prefix + "_opc_pkg_register") + "=";

    is_active_tab = false;
    export_image = cfg.get_bool (prefix + "_export_image", true);

    started_time = kiln_changed_time = run_changed_time = pkg_changed_time = state.boards_changed_time = now_seconds();
    chart_redraw_ms = cfg.get_int (prefix + "_chart_redraw_ms");

    pending_kiln = cfg.get_int (prefix + "_last_kiln");
    pending_run = cfg.get_int (prefix + "_last_run");
    pending_pkg = cfg.get_int (prefix + "_last_pkg");

    build_display();

    csv_filename = cfg.get_str (prefix + "_opc_via_csv_filename");
    if (! csv_filename.empty())
    {
        if (auto pattern = compile_pattern_setting (prefix + "_opc_via_csv_regex"))
            csv_regex = std::move (*pattern);
        else
            csv_filename.clear(); // without its line pattern the file yields no numbers: it is not polled
    }

    // A record file or number source that cannot be read must not keep the main window from being built:
    // the failure is reported and the channel starts with what it has.
    try
    {
        apply_kiln_run_pkg_change();
    }
    catch (...)
    {
        report_poll_failure ("TabCanvas::TabCanvas");
    }

    addAndMakeVisible (chart);

    stopTimer();
    if (! threadShouldExit())
    {
        try
        {
            update_status();
            check_opc_output_file();
            check_csv_file();
        }
        catch (...)
        {
            report_poll_failure ("TabCanvas::TabCanvas");
        }
        if (chart_redraw_ms > 0)
            startTimer (until_next_tick (chart_redraw_ms));
    }

    addListener (&exit_wakes_port);
    startThread (juce::Thread::Priority::highest);
}

TabCanvas::~TabCanvas()
{
    signalThreadShouldExit();
    notify();
    stopTimer();
    if (! waitForThreadToExit (10000))
    {
        // The thread still uses this object's members: it must end before they go.
        log_line ("prefix=" + prefix + ": device thread has not ended after 10000 milliseconds, still waiting");
        waitForThreadToExit (-1);
    }
    removeListener (&exit_wakes_port);
    give_up_unwritten_records();

    log_line (std::string ("finished destructor for ") + (is_active_tab ? "active" : "inactive")
              + " TabCanvas object with prefix=" + prefix);
}

ChannelFigures TabCanvas::figures (BoardValues values) const
{
    ChannelFigures copy;
    const juce::ScopedLock guard (lock);
    copy.run_count = state.run_values.size();
    copy.pkg_count = state.pkg_values.size();
    copy.run_sum = state.run_bucket.sum;
    copy.pkg_sum = state.pkg_bucket.sum;
    copy.run_average = state.run_average;
    copy.pkg_average = state.pkg_average;
    copy.run_stddev = state.run_stddev;
    copy.pkg_stddev = state.pkg_stddev;
    copy.run_histogram = state.run_histogram;
    copy.pkg_histogram = state.pkg_histogram;
    static_cast<ChannelNumbers&> (copy) = state;
    if (values == BoardValues::included)
    {
        copy.run_values = state.run_values;
        copy.pkg_values = state.pkg_values;
    }
    return copy;
}

void TabCanvas::change (const std::function<void (ChannelState&)>& edit)
{
    const juce::ScopedLock guard (lock);
    edit (state);
}

std::optional<std::regex> TabCanvas::compile_pattern_setting (const std::string& key)
{
    const std::string pattern = cfg.get_str (key);
    try
    {
        return std::regex (pattern, std::regex::ECMAScript);
    }
    catch (const std::regex_error& e)
    {
        const std::string text = key + " \"" + pattern + "\" cannot be used: " + e.what();
        const Ziz::Exception record ("TabCanvas::compile_pattern_setting", __FILE__, __LINE__, text);
        log_exception (&record);
        const juce::ScopedLock guard (lock);
        state.error_messages.push_back (text);
    }
    return std::nullopt;
}

void TabCanvas::timerCallback()
{
    VUR_ON_MESSAGE_THREAD();
    stopTimer();
    if (threadShouldExit())
        return;

    // A failure is reported, and the timer goes on: a tab that silently stops refreshing is worse.
    try
    {
        retry_unwritten_records();
        show_log_failure();
        update_status();
        check_opc_output_file();
        check_csv_file();
    }
    catch (...)
    {
        const Ziz::Exception record = caught_exception_record ("TabCanvas::timerCallback", __FILE__, __LINE__);
        log_and_show_exception (&record);
    }

    // The framework hands repaints to the window at the display's vertical blank, which on Windows it waits
    // for through DXGI. Where that wait is not available (remote and headless sessions, Wine) the window
    // would never show new figures, so the refresh puts its own changes on the screen.
    // Only the tab in front has anything to show; asking whether it shows costs a round trip to the display.
    if (auto* peer = getPeer(); is_active_tab && peer != nullptr && isShowing())
        peer->performAnyPendingRepaintsNow();

    if (chart_redraw_ms > 0)
        startTimer (until_next_tick (chart_redraw_ms));
}

void TabCanvas::show_log_failure()
{
    // The log is where every failure is reported: while it cannot be written, the chart says so instead.
    const std::string failure = log_failure();
    const juce::ScopedLock guard (lock);
    if (failure.empty())
        state.standing_errors.erase ("log");
    else
        state.standing_errors["log"] = "the log cannot be written: " + failure;
}

void TabCanvas::report_poll_failure (const char* function)
{
    const Ziz::Exception record = caught_exception_record (function, __FILE__, __LINE__);
    log_and_show_exception (&record);
    const juce::ScopedLock guard (lock);
    state.error_messages.push_back (record.errorText);
}

void TabCanvas::run()
{
    try
    {
        read_device();
    }
    catch (...)
    {
        const Ziz::Exception record = caught_exception_record ("TabCanvas::run", "src-wnd\\tabcanvas", 640);
        log_exception (&record);
        {
            // The device is no longer read: the operator must see it (a port that would not open has said
            // so already).
            const juce::ScopedLock guard (lock);
            if (state.error_messages.empty() || state.error_messages.back() != record.errorText)
                state.error_messages.push_back ("the device is no longer read: " + record.errorText);
        }
        if (reading_started)
        {
            // The boards counted so far reach their files as they would at a normal end.
            log_line ("prefix=" + prefix + ": device thread is ending after an error");
            try
            {
                write_package_file();
                write_summary_file();
            }
            catch (...)
            {
                const Ziz::Exception write_record = caught_exception_record ("TabCanvas::run", "src-wnd\\tabcanvas", 640);
                log_exception (&write_record);
            }
        }
    }
    close_serial_device();
}
