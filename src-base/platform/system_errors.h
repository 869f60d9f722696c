#pragma once

// Operating-system services behind the error record: backtraces, error numbers and their texts.
// One implementation per operating system (system_errors_posix.cpp, system_errors_win32.cpp).

#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

namespace Ziz::sys
{
// Names of at most maxFrames calling functions, innermost first, after skipping skipFrames frames of the
// caller's own (the capture routine itself is never listed). "unknown" stands for a frame without a name.
// Captures on different threads are serialised.
std::vector<std::string> captureBacktrace (int skipFrames, int maxFrames = 20);

// The operating system's last-error code (GetLastError); 0 where the system has none apart from errno.
std::uint32_t lastErrorCode();
void setLastErrorCode (std::uint32_t code);

// The C library's text for an errno value (thread-safe form, 1000-character buffer); empty when it has none.
std::string errnoDescription (int errorNumber);

// The operating system's message for a last-error code; empty when it has none.
std::string lastErrorDescription (std::uint32_t code);

// A readable (demangled) name of a run-time type.
std::string readableTypeName (const std::type_info& type);
} // namespace Ziz::sys
