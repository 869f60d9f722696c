#include "src-log/log.h"

#include "src-base/core/ZizString.h"
#include "src-base/platform/os_conventions.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <ctime>
#include <fstream>
#include <memory>

juce::CriticalSection log_lock;

namespace
{
constexpr std::int64_t maxLogSizeAtOpen = 10485760;

struct LogStream
{
    std::ofstream stream;
};

LogStream& logStream()
{
    static LogStream instance;
    return instance;
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

    if (! log.stream.is_open())
    {
        const juce::File file (juce::String::fromUTF8 (name.c_str()));
        const std::int64_t size = file.existsAsFile() ? file.getSize() : 0;
        const bool truncate = size > maxLogSizeAtOpen;

        // Text mode: CR LF line ends on Windows.
        log.stream.open (name, truncate ? std::ios::out | std::ios::trunc : std::ios::out | std::ios::app);
        if (log.stream.is_open())
            log.stream.clear();
        else
            log.stream.setstate (std::ios::failbit);

        log.stream << "\n-------------------------------------\n";
        if (truncate)
            log.stream << "truncated previous log file (was " << Ziz::formatSize (static_cast<std::uint64_t> (size)) << ")\n";
        log.stream.flush();
    }

    if (log.stream.fail() || log.stream.bad())
        throw Ziz::Exception ("get_log_stream", __FILE__, __LINE__, "failed to open output logging file \"" + name + "\"");

    return log.stream;
}

std::string get_timestamp()
{
    const std::tm local = Ziz::sys::localTime (std::time (nullptr));
    char buffer[50] = {};
    std::strftime (buffer, sizeof (buffer), "%a %Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

void log_line (const std::string& message)
{
    const juce::ScopedLock guard (log_lock);
    const std::string timestamp = get_timestamp();
    std::ostream& out = get_log_stream();
    out << timestamp << ' ' << message << '\n';
    out.flush();
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
        const std::string timestamp = get_timestamp();
        std::ostream& out = get_log_stream();
        out << timestamp << ' ' << report << '\n';
        out.flush();
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
