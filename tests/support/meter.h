#pragma once

// "A meter" for tests that need one and do not care how it is joined to the code under test: a
// pseudo-terminal on POSIX systems (pty_meter.h), two COM ports joined back to back on Windows
// (com_meter.h). Both give the port to open as path, send() for what the meter writes, and is_open().

#ifdef _WIN32
 #include "com_meter.h"
#else
 #include "pty_meter.h"
#endif

#include <string>

namespace vurtest
{
#ifdef _WIN32
using Meter = ComMeter;
#else
using Meter = PtyMeter;
#endif

// Why a meter could not be made, for the failure message.
inline std::string meter_problem (const Meter& meter)
{
#ifdef _WIN32
    return meter.problem;
#else
    return meter.is_open() ? std::string() : "no pseudo-terminal";
#endif
}
} // namespace vurtest
