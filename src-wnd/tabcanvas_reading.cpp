// The reading thread: paced passes that read the meter (or the simulation table) and turn readings into
// board values.

#include "src-wnd/tabcanvas.h"
#include "src-wnd/thread_contract.h"

#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-wnd/core/meter_reading.h"
#include "src-wnd/core/sim_table.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace
{
std::int64_t monotonic_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now().time_since_epoch()).count();
}
} // namespace

void TabCanvas::read_device()
{
    VUR_ON_THREAD (*this);
    const std::string device = cfg.get_str (prefix + "_device");
    const std::string name = cfg.get_str (prefix + "_name");
    const std::int32_t interval_ms = cfg.get_int (prefix + "_interval_ms");
    const std::int32_t read_len = cfg.get_int (prefix + "_read_len");
    const bool run_simulation = cfg.get_bool (prefix + "_run_simulation", true);
    const auto pattern_setting = compile_pattern_setting (prefix + "_regex_pattern");
    if (! pattern_setting)
        return;
    const std::regex& pattern = *pattern_setting;

    log_line (device + ": device thread for " + device + " has started (name=\"" + name + "\", prefix=\"" + prefix + "\")");

    for (const auto& key : cfg.get_keys())
        if (key.compare (0, prefix.size(), prefix) == 0)
            log_line (device + ": " + key + "=\"" + cfg.get_str (key) + "\"");

    // A read needs room for at least one byte.
    std::vector<char> read_buffer (static_cast<std::size_t> (std::max (1, read_len)), 0);
    log_line_of (device, ": created a read buffer capable of reading ", read_len, " bytes every ", interval_ms, " milliseconds");

    setPriority (juce::Thread::Priority::highest);
    open_serial_device (device);

    const std::int64_t interval_ns = static_cast<std::int64_t> (interval_ms) * 1000000;
    std::int64_t deadline = monotonic_ns() + interval_ns;
    PendingMeterText pending_text;
    std::string text;
    reading_started = true;

    // A silent pass changes nothing: no text, no board, no log line. Where a silent pass would also end on
    // time, the thread sleeps through the silence in the port until the meter sends or the thread is told to
    // exit, instead of waking twice a pass for nothing; the pass then starts as the meter speaks. Where even a
    // silent read outlasts the pass, the passes go on, so that their overflow stays in the log.
    const bool sleeps_through_silence = ! run_simulation && interval_ms > silent_read_ms (read_buffer.size());

    while (! threadShouldExit())
    {
        if (sleeps_through_silence)
        {
            const auto input = serial_handle.waitForInput (-1);
            if (input == Ziz::sys::SerialPort::InputWait::nothing)
                continue;
            if (input == Ziz::sys::SerialPort::InputWait::input)
                deadline = monotonic_ns() + interval_ns;
        }

        text = run_simulation ? read_simulated (text, read_buffer) : read_serial (text, read_buffer);
        pending_text.append (text);

        if (! pending_text.empty() && ! threadShouldExit())
        {
            // Every complete reading is taken in this pass: a meter faster than the interval loses no board.
            for (const auto& reading : pending_text.take_readings (pattern))
            {
                if (reading.unreadable)
                    log_line (unreadable_reading_line (device, reading));
                if (reading.invalid_average)
                    log_line (invalid_average_line (device, reading));
                if (reading.is_board())
                    add_board (reading.value, reading.first, reading.average);
            }
        }

        if (needs_purge (pending_text.size(), read_len))
        {
            log_line (purge_line (device, pending_text.text()));
            pending_text.clear();
        }

        const std::int64_t now = monotonic_ns();
        if (now < deadline)
        {
            if (! threadShouldExit())
                wait (static_cast<int> ((deadline - now + 999999) / 1000000));
            deadline += interval_ns;
        }
        else
        {
            log_line_of (device, ": warning: time overflow by ", (now - deadline) / 1000000, " milliseconds");
            deadline = now + interval_ns;
        }
    }

    log_line ("prefix=" + prefix + ": detected shutdown signal");
    write_package_file();
    write_summary_file();
    log_line ("prefix=" + prefix + ": device thread for \"" + name + "\" on " + device + " is exiting");
}

void TabCanvas::add_board (double value, double reading1, double reading2)
{
    bool package_file_due = false;
    {
        const juce::ScopedLock guard (lock);
        keep_in_history (value, reading1, reading2);
        state.run_bucket.add (value);
        state.pkg_bucket.add (value);
        state.run_bucket.recompute_average();
        state.pkg_bucket.recompute_average();
        state.boards_changed_time = static_cast<std::int64_t> (std::time (nullptr));
        package_file_due = state.pkg_values.size() % 100 == 0;
    }
    if (package_file_due)
        write_package_file();
}

std::string TabCanvas::read_simulated (std::string& result, std::vector<char>&)
{
    VUR_ON_THREAD (*this);
    thread_local bool started = false;
    thread_local std::uint64_t position = 0;
    if (! started)
    {
        juce::Random random;
        random.setSeedRandomly();
        position = static_cast<std::uint64_t> (static_cast<std::int64_t> (random.nextInt()));
        started = true;
        log_line_of ("random index=", position);
    }
    result = simulation_row (position++);
    return result;
}
