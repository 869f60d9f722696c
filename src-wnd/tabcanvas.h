#pragma once

// One device channel: the tab that shows a meter, the thread that reads it, the timer that refreshes the tab
// and polls the kiln/run/package sources, and the board values of the current run and package.

#include "src-base/platform/serial_port.h"
#include "src-wnd/core/board_stats.h"
#include "src-wnd/core/board_warning.h"
#include "src-wnd/core/kiln_sources.h"
#include "src-wnd/core/record_sharing.h"
#include "src-wnd/quality_drawing.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

class Cfg;

// What a channel holds besides its boards: when they last changed, the numbers they are counted under and
// the texts drawn on the chart. Both the shared state and a copy of it have it, so a copy takes it whole.
struct ChannelNumbers
{
    std::int64_t boards_changed_time = 0;

    std::int32_t current_kiln = 0;
    std::int32_t current_run = 0;
    std::int32_t current_pkg = 0;
    std::string kiln_text;
    std::string run_text;
    std::string pkg_text;

    std::vector<std::string> error_messages;
    // Conditions that are drawn on the chart for as long as they last, by what they are about.
    std::map<std::string, std::string> standing_errors;
};

// What the reading thread and the message thread share: the boards, the numbers they are counted under and
// the texts drawn on the chart. The channel's lock guards it; only the channel takes the lock.
struct ChannelState : ChannelNumbers
{
    ChannelState() = default;
    ChannelState (const ChannelState&) = delete;
    ChannelState& operator= (const ChannelState&) = delete;

    // The boards of the current run (all its packages) and of the current package.
    BoardBucket run_bucket;
    BoardBucket pkg_bucket;
    std::array<std::uint64_t, moisture_bin_count>& run_histogram = run_bucket.histogram;
    std::array<std::uint64_t, moisture_bin_count>& pkg_histogram = pkg_bucket.histogram;
    std::vector<double>& run_values = run_bucket.values;
    std::vector<double>& pkg_values = pkg_bucket.values;
    double& run_average = run_bucket.average;
    double& pkg_average = pkg_bucket.average;
    double& run_stddev = run_bucket.stddev;
    double& pkg_stddev = pkg_bucket.stddev;
};

enum class BoardValues
{
    left_out,
    included
};

// One moment of a channel. The board values themselves are copied only when asked for: a run can hold tens
// of thousands of them, and the display needs only the figures.
struct ChannelFigures : ChannelNumbers
{
    std::size_t run_count = 0;
    std::size_t pkg_count = 0;
    double run_sum = 0.0;
    double pkg_sum = 0.0;
    double run_average = 0.0;
    double pkg_average = 0.0;
    double run_stddev = 0.0;
    double pkg_stddev = 0.0;
    std::array<std::uint64_t, moisture_bin_count> run_histogram {};
    std::array<std::uint64_t, moisture_bin_count> pkg_histogram {};
    std::vector<double> run_values; // empty unless asked for
    std::vector<double> pkg_values; // empty unless asked for
};

class TabCanvas : public juce::Component, public juce::Timer, public juce::Thread
{
public:
    static constexpr int number_of_bins = moisture_bin_count;
    using Histogram = std::array<std::uint64_t, number_of_bins>;

    // The channel reads its settings from the given store, and shows the window's error texts (when given)
    // on its chart above its own.
    TabCanvas (const std::string& device_prefix, Cfg& settings, const std::vector<std::string>* window_error_messages = nullptr);
    // The same with the application's store (cfg_store()) and no window.
    explicit TabCanvas (const std::string& device_prefix);
    ~TabCanvas() override;

    void run() override;
    void timerCallback() override;
    void resized() override;

    virtual void update_status();
    virtual void update_deviations();
    virtual juce::Image render_chart (int width, int height);
    virtual void read_device();
    virtual void write_package_file();
    virtual void write_summary_file();
    virtual void import_records();
    virtual void open_serial_device (const std::string& device);
    virtual void close_serial_device();
    virtual std::string read_serial (std::string& result, std::vector<char>& read_buffer);
    virtual std::string read_simulated (std::string& result, std::vector<char>& read_buffer);
    virtual void check_csv_file();
    virtual void check_opc_output_file();
    virtual void apply_kiln_run_pkg_change();
    // Where the device's record files go, and what names them.
    RecordDestination record_destination() const;
    // At each poll (message thread): the record files that could not be written are tried again.
    void retry_unwritten_records();

    Cfg& cfg;
    // The window's own error texts, shown first on the chart; none for a channel without a window.
    const std::vector<std::string>* window_errors = nullptr;
    // Thread contract. Message thread: construction, destruction, the timer and every poll, the display
    // (update_status, update_deviations, render_chart, resized), the kiln/run/package change and the import,
    // retry_unwritten_records. Reading thread (or, before it starts, whoever stands in for it): run,
    // read_device, read_serial, read_simulated, open_serial_device, close_serial_device. Any thread:
    // figures, change, write_package_file, write_summary_file, record_destination. Debug builds check the
    // first two groups.

    // A consistent copy of the shared state, taken under the lock at one moment.
    ChannelFigures figures (BoardValues values = BoardValues::left_out) const;
    // Applies a change to the shared state under the lock: a board that the reading thread takes meanwhile
    // waits and sees the state before or after the change, never half of it.
    void change (const std::function<void (ChannelState&)>& edit);

    std::string prefix;
    // The device's name as the tab shows it, for the board history (read by the reading thread).
    std::string shown_device_name;
    std::uint64_t last_sequence = 0;
    std::string opc_output_filename;
    std::string kiln_register;
    std::string run_register;
    std::string pkg_register;
    bool is_active_tab = false;
    bool export_image = false;
    std::int64_t started_time = 0;
    std::int64_t kiln_changed_time = 0;
    std::int64_t run_changed_time = 0;
    std::int64_t pkg_changed_time = 0;
    // The board-count warning's memory between refreshes (message thread).
    BoardWarningState warning;
    std::int32_t chart_redraw_ms = 0;
    Ziz::sys::SerialPort serial_handle;
    // Wakes the reading thread from its wait on a silent meter as soon as it is told to exit.
    struct ExitWakesPort : juce::Thread::Listener
    {
        explicit ExitWakesPort (Ziz::sys::SerialPort& serial_port) : port (serial_port) {}
        void exitSignalSent() override { port.interruptWait(); }
        Ziz::sys::SerialPort& port;
    };
    ExitWakesPort exit_wakes_port { serial_handle };
    std::int32_t pending_kiln = 0;
    std::int32_t pending_run = 0;
    std::int32_t pending_pkg = 0;

    juce::Label kiln_label;
    juce::TextEditor kiln_value;
    juce::Label run_label;
    juce::TextEditor run_value;
    juce::Label pkg_label;
    juce::TextEditor pkg_value;
    juce::Label run_boards_label;
    juce::TextEditor run_boards_value;
    juce::Label run_avg_label;
    juce::TextEditor run_avg_value;
    juce::Label run_stdv_label;
    juce::TextEditor run_stdv_value;
    juce::Label pkg_boards_label;
    juce::TextEditor pkg_boards_value;
    juce::Label pkg_avg_label;
    juce::TextEditor pkg_avg_value;
    juce::Label pkg_stdv_label;
    juce::TextEditor pkg_stdv_value;
    juce::Label run_histogram_label;
    juce::Label pkg_histogram_label;
    std::array<juce::TextEditor, number_of_bins> run_histogram_values;
    std::array<juce::Label, number_of_bins> percent_labels;
    std::array<juce::TextEditor, number_of_bins> pkg_histogram_values;
    juce::ImageComponent chart;

    // The most a pass reads from the port: a meter line is about a dozen bytes, and a line running at 300
    // boards a minute sends about 60 bytes a second, so a pass of 250 ms takes everything waiting with a
    // wide margin even after the port has gathered for seconds. The rest waits for the next pass.
    static constexpr std::size_t max_serial_bytes_per_pass = 4096;
    // How long a read of a buffer of this size waits on a silent line, under the time-outs the port is given.
    static std::int64_t silent_read_ms (std::size_t read_len);

    std::string csv_filename;
    std::regex csv_regex;

    static const juce::Colour run_colour;
    static const juce::Colour pkg_colour;

private:
    // Guards state, unwritten_records and unreadable_records. Only the channel takes it.
    mutable juce::CriticalSection lock;
    ChannelState state;

    void build_display();
    void refresh_and_poll();
    void add_board (double value, double reading1 = 0.0, double reading2 = 0.0);
    // Hands the board to the workstation's board history; called under the lock, with the numbers it was
    // counted under.
    void keep_in_history (double value, double reading1, double reading2);
    // The board history's failure among the chart's standing errors while it lasts (message thread).
    void show_history_failure();
    // Writes the package or summary file; false when it could not be written and waits to be.
    bool write_record_file (bool summary);
    bool store_record_file (const std::string& path, const std::string& text, bool log_every_failure);
    // At the end of the channel: what still cannot be written is put into the log, the only place left.
    void give_up_unwritten_records();
    bool keep_aside_unreadable_record (const std::string& path, std::string& reason);
    void export_chart (const juce::Image& image);

    // What the chart shows apart from its clock.
    struct ChartContent
    {
        int width = 0;
        int height = 0;
        std::string name;
        std::vector<std::string> errors;
        Histogram run_histogram {};
        Histogram pkg_histogram {};
        // The quality figures and the trend, when the device shows them.
        QualityView quality;

        // Contents with quality figures or a trend never count as equal: those are drawn whole each time.
        bool operator== (const ChartContent& other) const
        {
            return ! quality.shows_anything() && ! other.quality.shows_anything() && width == other.width && height == other.height && name == other.name && errors == other.errors
                   && run_histogram == other.run_histogram && pkg_histogram == other.pkg_histogram;
        }
    };
    ChartContent chart_content (int width, int height) const;
    bool paint_chart (juce::Graphics& g, const ChartContent& content, const juce::String& time_text);
    // A whole picture of the content, exported when the device exports it; complete is false when the
    // drawing was interrupted by the channel's end.
    juce::Image render_content (const ChartContent& content, bool& complete);
    static juce::String chart_time_text();
    // Draws the chart on the tab: whole when anything but the clock changed, else only the clock's band.
    void refresh_chart();
    // The band under the top of the title box that the device name and the clock are drawn in (the text
    // runs on below the box); everything else in the band is drawn again with them.
    static constexpr int clock_band_height = 24;
    juce::Image chart_image;
    std::optional<ChartContent> shown_chart;
    void check_board_count_warning (std::uint64_t package_boards);
    // A failure that leaves a poll or the change procedure is reported like any caught error, shown on the
    // chart, and the channel carries on with what it had read.
    void report_poll_failure (const char* function);
    // While the log cannot be written, every chart says so in red.
    void show_log_failure();
    // A numbers file too large to be one is not read: shown under key, logged once. True when refused.
    bool refuse_if_too_large (const std::string& key, const std::string& what, const std::string& name, ReportOnce& reports);

    struct UnwrittenRecord
    {
        std::string text;
        std::string reason;
    };
    // Record files whose last write failed, by path, with what they are to hold (under the lock).
    std::map<std::string, UnwrittenRecord> unwritten_records;
    // The current package's file when the import could not read it: kept aside before it is written again.
    std::vector<std::string> unreadable_records;
    // Set by the reading thread once it reads the meter: an end after that owes the record files.
    bool reading_started = false;

    // Sources that stay malformed are reported once, not at every poll.
    ReportOnce opc_failure_reports;
    ReportOnce csv_failure_reports;
    // The pattern that a setting holds, compiled; nothing when it does not compile, which is logged and
    // shown on the tab in red so that the operator sees why this device reads nothing.
    std::optional<std::regex> compile_pattern_setting (const std::string& key);

    // Lets a warning box that outlives its channel see that the channel is gone (the master clears its
    // references when the channel is destroyed).
    JUCE_DECLARE_WEAK_REFERENCEABLE (TabCanvas)
};
