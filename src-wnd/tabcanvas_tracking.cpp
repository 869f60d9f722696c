// Kiln, run and package numbers: polled from the OPC console's output file or a CSV file, and applied by
// flushing the old package and run, resetting the buckets and rebuilding them from the new run's records.

#include "src-wnd/tabcanvas.h"
#include "src-wnd/thread_contract.h"

#include "src-base/core/ZizString.h"
#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-wnd/core/record_format.h"

#include <ctime>
#include <filesystem>

namespace
{
// No OPC output file or CSV file of numbers comes near this: a larger one (a file appended to without end, a
// file named by mistake) is not read at every poll.
constexpr std::uintmax_t max_numbers_file_bytes = 1048576;

bool too_large (const std::string& name)
{
    std::error_code error;
    const auto size = std::filesystem::file_size (std::filesystem::u8path (name), error);
    return ! error && size > max_numbers_file_bytes;
}
} // namespace

bool TabCanvas::refuse_if_too_large (const std::string& key, const std::string& what, const std::string& name, ReportOnce& reports)
{
    if (! too_large (name))
        return false;
    const std::string message = "the " + what + " " + name + " is larger than " + std::to_string (max_numbers_file_bytes)
                                + " bytes and is not read";
    if (reports.first_report ("too large"))
        log_line ("prefix=" + prefix + ": " + message);
    const juce::ScopedLock guard (lock);
    state.standing_errors[key] = message;
    return true;
}

void TabCanvas::check_opc_output_file()
{
    VUR_ON_MESSAGE_THREAD();
    if (refuse_if_too_large ("opc", "OPC output file", opc_output_filename, opc_failure_reports))
        return;
    const auto lines = Ziz::readTextFile (opc_output_filename, false, false);
    if (lines.empty())
    {
        log_line ("prefix=" + prefix + ": failed to load the OPC output file \"" + opc_output_filename + "\"");
        return;
    }

    const auto reading = read_opc_output (lines, last_sequence, kiln_register, run_register, pkg_register);
    switch (reading.status)
    {
        case OpcOutputReading::Status::missing:
            return;

        case OpcOutputReading::Status::unchanged:
        {
            // Read whole again, as it was: whatever was shown about the file is over.
            const juce::ScopedLock guard (lock);
            state.standing_errors.erase ("opc");
            return;
        }

        case OpcOutputReading::Status::malformed:
            // Met half-written, or broken: last_sequence stays, so the file is read again at the next poll.
            // A file that stays this way is reported once, and shown on the chart for as long as it lasts.
            if (reading.failure)
            {
                const juce::ScopedLock guard (lock);
                state.standing_errors["opc"] = "the OPC output file " + opc_output_filename + " cannot be read (line "
                                         + std::to_string (reading.failure->line) + ": " + reading.failure->text + ")";
            }
            if (reading.failure && opc_failure_reports.first_report (reading.report_key()))
            {
                if (reading.sequence_read)
                    log_line_of ("prefix=", prefix, ": detected OPC Console output file ", opc_output_filename,
                                 " has a sequence number of \"", reading.sequence, "\"");
                std::rethrow_exception (reading.failure->error);
            }
            return;

        case OpcOutputReading::Status::complete:
            break;
    }

    opc_failure_reports.clear();
    {
        const juce::ScopedLock guard (lock);
        state.standing_errors.erase ("opc");
    }
    last_sequence = reading.sequence;
    log_line_of ("prefix=", prefix, ": detected OPC Console output file ", opc_output_filename, " has a sequence number of \"",
                 reading.sequence, "\"");
    reading.numbers.apply_to (pending_kiln, pending_run, pending_pkg);
    apply_kiln_run_pkg_change();
}

void TabCanvas::check_csv_file()
{
    VUR_ON_MESSAGE_THREAD();
    if (csv_filename.empty())
        return;

    log_line ("prefix=" + prefix + ": checking to see if there are any changes in \"" + csv_filename + "\"");
    if (refuse_if_too_large ("csv", "CSV file", csv_filename, csv_failure_reports))
        return;
    {
        const juce::ScopedLock guard (lock);
        state.standing_errors.erase ("csv");
    }
    const auto reading = read_csv_lines (Ziz::readTextFile (csv_filename, false, false), csv_regex);

    for (const auto& match : reading.matches)
        log_line ("prefix=" + prefix + ": read from CSV: key=" + match.key + ", val=" + match.value_text);

    reading.numbers.apply_to (pending_kiln, pending_run, pending_pkg);

    if (reading.failure)
    {
        if (csv_failure_reports.first_report (reading.report_key()))
            std::rethrow_exception (reading.failure->error);
        return;
    }

    csv_failure_reports.clear();
    apply_kiln_run_pkg_change();
}

void TabCanvas::apply_kiln_run_pkg_change()
{
    VUR_ON_MESSAGE_THREAD();
    if (! numbers_differ (state.current_kiln, state.current_run, state.current_pkg, pending_kiln, pending_run, pending_pkg))
        return;

    const std::string p = "prefix=" + prefix;
    bool flush = true;
    if (numbers_unset (state.current_kiln, state.current_run, state.current_pkg))
    {
        flush = false;
        log_line (p + ": skipping output of .mc files since kiln, run, and package numbers are all zero");
    }

    log_line (p + ": need to update the kiln, run, or package number");
    log_line_of (p, ": -> current k=", state.current_kiln, " r=", state.current_run, " p=", state.current_pkg);
    log_line_of (p, ": -> updated k=", pending_kiln, " r=", pending_run, " p=", pending_pkg);
    log_line (p + ": flag indicating we need to output .mc files " + (flush ? "has been set" : "is not set"));
    log_line (p + ": flag indicating pkg variables will be reset: true");
    log_line (p + ": flag indicating run variables will be reset: true");

    // Held from the flush to the end of the import. A board that the reading thread takes meanwhile waits
    // for it and then joins the new package: it is neither dropped from the package bucket by the import's
    // emptying nor written into the new package's file together with boards of the run's other packages
    // that the import has put in the package bucket on the way.
    const juce::ScopedLock guard (lock);
    if (flush)
    {
        write_package_file();
        write_summary_file();
    }

    state.run_histogram.fill (0);
    state.pkg_histogram.fill (0);
    log_line (p + ": reset all PKG values to zero");
    state.pkg_bucket.reset();
    warning.reset();
    log_line (p + ": reset all RUN values to zero");
    state.run_bucket.reset();

    state.kiln_text = std::to_string (pending_kiln);
    state.run_text = number_text_padded (pending_run);
    state.pkg_text = number_text_padded (pending_pkg);

    kiln_value.setText (juce::String::fromUTF8 (state.kiln_text.c_str()));
    run_value.setText (juce::String::fromUTF8 (state.run_text.c_str()));
    pkg_value.setText (juce::String::fromUTF8 (state.pkg_text.c_str()));

    const auto now = static_cast<std::int64_t> (std::time (nullptr));
    if (pending_kiln != state.current_kiln)
    {
        state.current_kiln = pending_kiln;
        kiln_changed_time = now;
    }
    if (pending_run != state.current_run)
    {
        state.current_run = pending_run;
        run_changed_time = now;
    }
    if (pending_pkg != state.current_pkg)
    {
        state.current_pkg = pending_pkg;
        pkg_changed_time = now;
    }

    cfg.setValue (juce::String::fromUTF8 ((prefix + "_last_kiln").c_str()), pending_kiln);
    cfg.setValue (juce::String::fromUTF8 ((prefix + "_last_run").c_str()), pending_run);
    cfg.setValue (juce::String::fromUTF8 ((prefix + "_last_pkg").c_str()), pending_pkg);

    log_line (p + ": significant change detected, so re-read the relevant .mc files");
    import_records();
}
