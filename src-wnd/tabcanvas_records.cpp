// The channel's production records: standard deviations, the package and summary ".mc" files, and the
// import of a run's package files after a restart or a change of kiln, run or package.

#include "src-wnd/tabcanvas.h"
#include "src-wnd/thread_contract.h"

#include "src-base/core/ZizString.h"
#include "src-base/platform/atomic_file.h"
#include "src-base/platform/os_conventions.h"
#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-wnd/core/record_format.h"
#include "src-wnd/core/record_import.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace
{
int current_year()
{
    return Ziz::sys::localTime (std::time (nullptr)).tm_year + 1900;
}

// The record folder as the device's settings name it this year. Record files are named by kiln, run and
// package only, so devices that must keep their files apart each name a folder of their own under
// <prefix>_output_directory; without one they share output_directory.
std::string record_folder_name (const Cfg& cfg, const std::string& prefix, int year = current_year())
{
    const std::string setting = cfg.get_str (prefix + "_output_directory", cfg.get_str ("output_directory"));
    return record_directory (setting, year);
}

// The names of one run's record files in a folder, read in one listing; none when the folder is not there.
std::set<std::string> run_files_in (const fs::path& folder, int kiln, int run)
{
    const std::string summary = record_file_name (kiln, run, 0);
    const std::string run_part = summary.substr (0, summary.size() - std::string ("000.mc").size());
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry (folder, error), end; ! error && entry != end; entry.increment (error))
    {
        std::string name = entry->path().filename().u8string();
        if (name.size() == summary.size() && name.compare (0, run_part.size(), run_part) == 0)
            names.insert (std::move (name));
    }
    return names;
}

// The record folder, created when missing. A folder that cannot be created is logged: the write that
// follows fails and says so too, but the reason is here.
fs::path record_folder (const Cfg& cfg, const std::string& prefix)
{
    const fs::path folder = fs::u8path (record_folder_name (cfg, prefix));
    std::error_code error;
    fs::create_directories (folder, error);
    if (error)
        log_line ("prefix=" + prefix + ": failed to create the record folder " + folder.u8string() + ": " + error.message());
    return folder;
}

std::string strip_carriage_returns (std::string text)
{
    text.erase (std::remove (text.begin(), text.end(), '\r'), text.end());
    return text;
}
} // namespace

void TabCanvas::update_deviations()
{
    VUR_ON_MESSAGE_THREAD();
    if (threadShouldExit())
        return;
    const juce::ScopedLock guard (lock);
    state.run_bucket.update_deviation();
    state.pkg_bucket.update_deviation();
}

RecordDestination TabCanvas::record_destination() const
{
    RecordDestination destination;
    destination.prefix = prefix;
    destination.folder = record_folder_name (cfg, prefix);
    destination.numbers_source = csv_filename.empty()
                                     ? "OPC output file " + opc_output_filename + ", registers " + kiln_register + run_register + pkg_register
                                     : "CSV file " + csv_filename + ", pattern " + cfg.get_str (prefix + "_opc_via_csv_regex");
    return destination;
}

bool TabCanvas::write_record_file (bool summary)
{
    const fs::path folder = record_folder (cfg, prefix);
    std::string path;
    bool written = false;
    {
        // The name and the content come from one state of the channel.
        const juce::ScopedLock guard (lock);
        const std::string file_name = summary ? summary_file_name (state.kiln_text, state.run_text) : package_file_name (state.kiln_text, state.run_text, state.pkg_text);
        path = (folder / fs::u8path (file_name)).u8string();
        if (summary)
            log_line_of ("prefix=", prefix, ": writing summary data to ", path, " (run size=", state.run_values.size(), ", run avg=", state.run_average, ")");
        else
            log_line_of ("prefix=", prefix, ": writing ", state.pkg_values.size(), " boards to ", path, " (k=", state.kiln_text, ", r=", state.run_text,
                         ", p=", state.pkg_text, ", pkg avg=", state.pkg_average, ", run avg=", state.run_average, ")");

        written = store_record_file (path, summary ? summary_file_text (state.run_bucket) : package_file_text (state.pkg_bucket), true);
    }

    // What is on disk now, as a reader will see it; a file that cannot be read back shows as empty.
    std::string text;
    try
    {
        text = strip_carriage_returns (Ziz::readFile (path));
    }
    catch (...)
    {
    }
    log_line ("prefix=" + prefix + ": " + path + ":\n----------\n" + text + "----------");
    return written;
}

bool TabCanvas::store_record_file (const std::string& path, const std::string& text, bool log_every_failure)
{
    // Written beside the old file and put in its place in one step: a crash or power loss leaves the old or
    // the new file whole, never a truncated one. A file that cannot be written (folder gone, disk full, file
    // held by another program) keeps its text here until it can: its boards are never dropped.
    const juce::ScopedLock guard (lock);
    std::string reason;
    if (keep_aside_unreadable_record (path, reason) && Ziz::sys::writeFileAtomically (path, text, &reason))
    {
        if (unwritten_records.erase (path) > 0)
        {
            log_line ("prefix=" + prefix + ": the record file " + path + " has been written at last");
            state.standing_errors.erase ("record " + path);
        }
        return true;
    }

    // Retries that fail for the same reason (the system's error text, not the temporary file's name) add
    // nothing to the log.
    const auto cause = [] (const std::string& failure) { return failure.substr (std::min (failure.size(), failure.rfind ("\": "))); };
    auto& held = unwritten_records[path];
    const std::string message = "failed to write the record file " + path + ": " + reason;
    if (log_every_failure || cause (held.reason) != cause (reason))
        log_line ("prefix=" + prefix + ": " + message + (log_every_failure ? "" : " (still)"));
    held.text = text;
    held.reason = reason;
    state.standing_errors["record " + path] = message;
    return false;
}

void TabCanvas::retry_unwritten_records()
{
    VUR_ON_MESSAGE_THREAD();
    const juce::ScopedLock guard (lock);
    std::vector<std::pair<std::string, std::string>> held;
    for (const auto& [path, record] : unwritten_records)
        held.emplace_back (path, record.text);
    for (const auto& [path, text] : held)
        store_record_file (path, text, false);
}

void TabCanvas::give_up_unwritten_records()
{
    const juce::ScopedLock guard (lock);
    retry_unwritten_records();
    for (const auto& [path, record] : unwritten_records)
        log_line ("prefix=" + prefix + ": the record file " + path + " could not be written (" + record.reason
                  + "); what it was to hold follows:\n----------\n" + strip_carriage_returns (record.text) + "----------");
    unwritten_records.clear();
}

bool TabCanvas::keep_aside_unreadable_record (const std::string& path, std::string& reason)
{
    // The current package's own file that the import could not read is kept, byte for byte, before a new
    // file takes its name: it may hold boards that only a person can still recover. Until it is kept, the
    // new file waits like any file that cannot be written.
    const auto found = std::find (unreadable_records.begin(), unreadable_records.end(), path);
    if (found == unreadable_records.end())
        return true;

    const std::string kept = path + ".unreadable-" + juce::Time::getCurrentTime().formatted ("%Y%m%d-%H%M%S").toStdString();
    std::error_code error;
    fs::copy_file (fs::u8path (path), fs::u8path (kept), fs::copy_options::overwrite_existing, error);
    std::error_code absent;
    if (error && (fs::exists (fs::u8path (path), absent) || absent))
    {
        reason = "cannot keep the unreadable file as " + kept + ": " + error.message();
        return false;
    }
    unreadable_records.erase (found);
    if (! error)
        log_line ("prefix=" + prefix + ": kept the unreadable record file " + path + " as " + kept);
    return true;
}

void TabCanvas::write_package_file()
{
    write_record_file (false);
}

void TabCanvas::write_summary_file()
{
    write_record_file (true);
}

void TabCanvas::import_records()
{
    VUR_ON_MESSAGE_THREAD();
    const fs::path folder = record_folder (cfg, prefix);

    // Held for the whole import, the reading of the files too. While the import runs, the package bucket
    // holds the boards of whichever package file it read last; a board that the reading thread added in
    // between would be dropped from the package by the next emptying, and a package file that the reading
    // thread wrote in between would get the other packages' boards. The reading thread waits instead, and
    // its boards arrive after the import, in the package they belong to.
    const juce::ScopedLock guard (lock);
    bool first_or_after_load = true;

    // A run still open at New Year has its earlier packages in last year's folder: they belong to the run all
    // the same. A file in this year's folder is the newer copy of the same name.
    const fs::path last_year = fs::u8path (record_folder_name (cfg, prefix, current_year() - 1));
    const std::set<std::string> last_years_files = last_year != folder ? run_files_in (last_year, state.current_kiln, state.current_run)
                                                                       : std::set<std::string>();

    for (const int package : import_package_order (state.current_pkg))
    {
        const std::string name = record_file_name (state.current_kiln, state.current_run, package);

        if (first_or_after_load)
        {
            log_line_of ("prefix=", prefix, ": clearing out all package buckets and ", state.pkg_values.size(), " board entries to load k=",
                         state.current_kiln, " << r=", state.current_run, " p=", package, " from ", name, " (run so far contains ",
                         state.run_values.size(), " boards)");
            state.pkg_bucket.reset();
            first_or_after_load = false;
        }

        fs::path file = folder / fs::u8path (name);
        // A file still waiting to be written is read as it is to be, not as the disk has it, and whether or
        // not an older copy is on disk.
        const auto held = unwritten_records.find (file.u8string());
        std::error_code error;
        fs::file_type type = fs::status (file, error).type();
        if (held == unwritten_records.end() && type == fs::file_type::not_found && last_years_files.count (name) > 0)
        {
            file = last_year / fs::u8path (name);
            type = fs::status (file, error).type();
        }
        const std::string path = file.u8string();
        if (held == unwritten_records.end() && (type == fs::file_type::not_found || (! error && type != fs::file_type::regular)))
            continue;

        first_or_after_load = true;
        log_line ("prefix=" + prefix + ": importing all existing values from " + path);

        // A file that is there but cannot be read now (a share that is away, a file another program holds or
        // another account owns) is not an empty one: it is left out like a file that cannot be parsed, and
        // the current package's own is kept aside before it is written again.
        std::string values_line;
        std::string unreadable;
        if (held != unwritten_records.end())
            values_line = record_values_line_of (held->second.text);
        else if (error)
            unreadable = error.message();
        else if (! read_record_values_line (path, values_line))
            unreadable = "it cannot be opened";

        // A file is taken whole or not at all: half a file would leave the package bucket with boards of
        // another package, and the next write would put them into the current package's file.
        const auto leave_out = [&] (const std::string& why) {
            const std::string message = "cannot import the record file " + path + ": " + why + "; it is left out";
            log_line ("prefix=" + prefix + ": " + message);
            if (std::find (state.error_messages.begin(), state.error_messages.end(), message) == state.error_messages.end())
                state.error_messages.push_back (message);
            if (package == state.current_pkg && std::find (unreadable_records.begin(), unreadable_records.end(), path) == unreadable_records.end())
                unreadable_records.push_back (path);
        };
        if (! unreadable.empty())
        {
            leave_out (unreadable);
            continue;
        }
        std::size_t count = 0;
        try
        {
            count = import_record_values (values_line, state.run_bucket, state.pkg_bucket);
        }
        catch (const std::exception& e)
        {
            leave_out (e.what());
            continue;
        }

        if (! state.run_values.empty())
        {
            state.run_bucket.recompute_average();
            log_line_of ("prefix=", prefix, ": RUN: filename=", path, ": imported ", count, " existing entries, run average is ",
                         state.run_average, ", run contains a total of ", state.run_values.size(), " entries");
        }
        if (! state.pkg_values.empty())
        {
            state.pkg_bucket.recompute_average();
            log_line_of ("prefix=", prefix, ": PKG: filename=", path, ": imported ", count, " existing entries, pkg average is ",
                         state.pkg_average, ", pkg contains a total of ", state.pkg_values.size(), " entries");
        }
    }

    log_line_of ("prefix=", prefix, ": import has finished loading ", state.run_values.size(), " boards");
    log_line_of ("prefix=", prefix, ": ", state.run_values.size(), " boards in run: k=", state.current_kiln, " r=", state.current_run, ": ",
                 board_values_text (state.run_values));
    log_line_of ("prefix=", prefix, ": ", state.pkg_values.size(), " boards in pkg: k=", state.current_kiln, " r=", state.current_run, ", p=",
                 state.current_pkg, ": ", board_values_text (state.pkg_values));
}
