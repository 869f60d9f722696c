#pragma once

// The log file vur.log in the temporary folder: one timestamped line per step, every caught error with its
// full report. Every thread logs; each line is written whole under log_lock.

#include "src-base/core/ZizException.h"

#include <juce_core/juce_core.h>

#include <ostream>
#include <sstream>
#include <string>

// Held from before the timestamp is taken until after the line break is written. Re-entrant.
extern juce::CriticalSection log_lock;

std::string get_log_filename();
// The log stream, opened on first use; the caller holds log_lock. Throws when the stream has failed.
std::ostream& get_log_stream();
std::string get_timestamp();

// A line that the log cannot take (a full disk, a folder that is gone) is lost, not an error for the work
// it describes: false then, and the next line that is written says how many were lost. log_failure() says
// why the last line was not written, and is empty once a line is written again.
bool log_line (const std::string& message);
std::string log_failure();

// Stream-style form: log_line_of ("found device with key=", key, ", prefix=", prefix).
template <typename... Parts>
void log_line_of (const Parts&... parts)
{
    std::ostringstream text;
    (text << ... << parts);
    log_line (text.str());
}

// Writes the record's report when its reportPending flag is set; returns the record.
Ziz::Exception log_exception (const std::exception* error);
// The same, and shows the "VUR problem detected!" box.
void log_and_show_exception (const std::exception* error);

// Inside a catch block: the caught failure as a record (a Ziz::Exception unchanged, another standard
// exception wrapped, anything else as "unknown exception"), named after the guarded operation.
Ziz::Exception caught_exception_record (const char* function, const char* sourceFile, int line);

// The exception guard of jobs and thread bodies: runs body and logs any failure; true when body completed.
template <typename Body>
bool run_logging_failures (const char* function, const char* sourceFile, int line, Body&& body)
{
    try
    {
        body();
        return true;
    }
    catch (...)
    {
        const Ziz::Exception record = caught_exception_record (function, sourceFile, line);
        log_exception (&record);
    }
    return false;
}
