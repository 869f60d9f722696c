#include "src-log/log.h"

#include "src-base/core/ZizString.h"
#include "src-base/platform/atomic_file.h"
#include "src-base/platform/os_conventions.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

juce::CriticalSection log_lock;

namespace
{
// The log shares its disk with the record files: it never grows past this, at start or while running.
constexpr std::int64_t maxLogSize = 10485760;

struct LogStream
{
    std::ofstream stream;
    // The file's size after this process's last write, kept so that a line costs no look at the file.
    std::int64_t size = 0;
    // Lines that could not be written since the last one that was, and why the last one was not.
    std::uint64_t lost = 0;
    std::string failure;
};

LogStream& logStream()
{
    static LogStream instance;
    return instance;
}

void note_size (LogStream& log)
{
    const auto at = log.stream.tellp();
    if (at >= 0)
        log.size = static_cast<std::int64_t> (at);
}

void open_log (LogStream& log, const std::string& name)
{
    const juce::File file (juce::String::fromUTF8 (name.c_str()));
    const std::int64_t size = file.existsAsFile() ? file.getSize() : 0;
    const bool truncate = size > maxLogSize;

    // Text mode: CR LF line ends on Windows.
    log.stream.open (std::filesystem::u8path (name), truncate ? std::ios::out | std::ios::trunc : std::ios::out | std::ios::app);
    if (log.stream.is_open())
        log.stream.clear();
    else
        log.stream.setstate (std::ios::failbit);

    log.stream << "\n-------------------------------------\n";
    if (truncate)
        log.stream << "truncated previous log file (was " << Ziz::formatSize (static_cast<std::uint64_t> (size)) << ")\n";
    log.stream.flush();
    note_size (log);
}

// The full log goes aside as vur.log.old (replacing an older one) and a new one starts; where it cannot
// be moved (another program holds it), it is emptied in place as at start.
void start_new_log (LogStream& log, const std::string& name)
{
    const std::string size = Ziz::formatSize (static_cast<std::uint64_t> (log.size));
    log.stream.close();

    const std::string old_name = name + ".old";
    const bool moved = Ziz::sys::replaceFile (name, old_name);

    log.stream.clear();
    log.stream.open (std::filesystem::u8path (name), std::ios::out | std::ios::trunc);
    if (! log.stream.is_open())
    {
        log.stream.setstate (std::ios::failbit);
        return;
    }
    if (moved)
        log.stream << "moved previous log file to " << old_name << " (was " << size << ")\n";
    else
        log.stream << "truncated previous log file (was " << size << ")\n";
    log.stream.flush();
    note_size (log);
}

std::string open_failure_text (const std::string& name) { return "failed to open output logging file \"" + name + "\""; }

// The stream ready for a line: opened on first use, and opened again after a write that failed (disk full,
// file gone), so that such a write costs only its own line. False when it cannot take a line.
bool stream_ready (LogStream& log, const std::string& name)
{
    if (log.stream.is_open() && ! log.stream.good())
        log.stream.close();
    if (! log.stream.is_open())
        open_log (log, name);
    return ! (log.stream.fail() || log.stream.bad());
}

bool write_line (LogStream& log, const std::string& name, const std::string& line)
{
    if (! stream_ready (log, name))
        return false;
    const auto line_breaks = static_cast<std::size_t> (std::count (line.begin(), line.end(), '\n'));
    const auto bytes = static_cast<std::int64_t> (line.size() + line_breaks * (Ziz::sys::textLineBreakSize() - 1));
    if (log.size > 0 && log.size + bytes > maxLogSize)
    {
        start_new_log (log, name);
        if (! log.stream.good())
            return false;
    }

    log.stream << line;
    log.stream.flush();
    if (! log.stream.good())
        return false;
    note_size (log);
    return true;
}
} // namespace

std::string get_log_filename()
{
    return juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vur.log").getFullPathName().toStdString();
}

std::ostream& get_log_stream()
{
    auto& log = logStream();
    const std::string name = get_log_filename();
    if (! stream_ready (log, name))
        throw Ziz::Exception ("get_log_stream", __FILE__, __LINE__, open_failure_text (name));
    return log.stream;
}

std::string get_timestamp()
{
    const std::tm local = Ziz::sys::localTime (std::time (nullptr));
    char buffer[50] = {};
    std::strftime (buffer, sizeof (buffer), "%a %Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

bool log_line (const std::string& message)
{
    const juce::ScopedLock guard (log_lock);
    auto& log = logStream();
    try
    {
        const std::string name = get_log_filename();
        const std::string timestamp = get_timestamp();
        bool written = true;
        if (log.lost > 0)
        {
            written = write_line (log, name, timestamp + ' ' + std::to_string (log.lost) + " log lines could not be written (" + log.failure + ")\n");
            if (written)
                log.lost = 0;
        }
        if (written && write_line (log, name, timestamp + ' ' + message + '\n'))
        {
            log.failure.clear();
            return true;
        }
        log.failure = open_failure_text (name);
    }
    catch (const std::exception& e)
    {
        log.failure = e.what();
    }
    catch (...)
    {
        log.failure = "unknown exception";
    }
    ++log.lost;
    return false;
}

std::string log_failure()
{
    const juce::ScopedLock guard (log_lock);
    return logStream().failure;
}

Ziz::Exception log_exception (const std::exception* error)
{
    Ziz::Exception record;
    if (error == nullptr)
        record = Ziz::Exception ("log_exception", __FILE__, __LINE__, "null exception");
    else if (const auto* own = dynamic_cast<const Ziz::Exception*> (error))
        record = *own;
    else
        record = Ziz::Exception ("log_exception", __FILE__, __LINE__, *error);

    if (record.reportPending)
    {
        const juce::ScopedLock guard (log_lock);
        const std::string report = record.report();
        // Reporting a failure never fails in turn: where the log cannot take the report, the standard error
        // stream gets it.
        if (! log_line (report))
            std::cerr << report << std::endl;
    }
    return record;
}

void log_and_show_exception (const std::exception* error)
{
    const Ziz::Exception record = log_exception (error);
    if (! record.reportPending)
        return;

    try
    {
        const juce::String message = juce::String ("An error or exception was detected.\r\n\r\n")
            + "The file " + juce::String (get_log_filename()) + " may have some additional details on the cause of the error.\r\n\r\n"
            + "Please try again, consult the log file, or contact " + juce::String (Ziz::supportContact()) + " for assistance.";
        juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, "VUR problem detected!", message);
    }
    catch (...)
    {
        // The box is a courtesy; the report is already in the log.
    }
}

Ziz::Exception caught_exception_record (const char* function, const char* sourceFile, int line)
{
    try
    {
        throw;
    }
    catch (const Ziz::Exception& e)
    {
        return e;
    }
    catch (const std::exception& e)
    {
        return Ziz::Exception (function, sourceFile, line, e);
    }
    catch (...)
    {
        return Ziz::Exception (function, sourceFile, line, "unknown exception");
    }
}
