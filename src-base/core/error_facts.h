#pragma once

// What the error record asks of the operating system: a backtrace, the last error code, the texts of error
// numbers and readable type names. The record lives in the core, below the platform layer, so it cannot call
// the platform; the platform layer installs its answers here as a program that links it starts
// (src-base/platform/error_facts_install.cpp). Without them the record gets plain answers: no frames, no
// last error, no texts, the compiler's own type names.

#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

namespace Ziz
{
struct ErrorFacts
{
    // Names of at most maxFrames calling functions, innermost first, after skipping skipFrames frames of the
    // caller's own.
    std::vector<std::string> (*captureBacktrace) (int skipFrames, int maxFrames);
    std::uint32_t (*lastErrorCode)();
    std::string (*errnoDescription) (int errorNumber);
    std::string (*lastErrorDescription) (std::uint32_t code);
    std::string (*readableTypeName) (const std::type_info& type);
};

// The facts stay in use until the program ends: install a table with static storage duration.
void installErrorFacts (const ErrorFacts& facts);
const ErrorFacts& errorFacts();
} // namespace Ziz
