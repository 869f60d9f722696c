// Hands the platform's answers to the error record of the core as the program starts. Nothing calls into
// this file: the platform library asks the linker to keep it (cmake/Targets.cmake), so every program that
// links the platform layer reports named frames and the operating system's error texts.

#include "src-base/core/error_facts.h"
#include "src-base/platform/system_errors.h"

namespace
{
const Ziz::ErrorFacts platformFacts {
    Ziz::sys::captureBacktrace,
    Ziz::sys::lastErrorCode,
    Ziz::sys::errnoDescription,
    Ziz::sys::lastErrorDescription,
    Ziz::sys::readableTypeName,
};

int install()
{
    Ziz::installErrorFacts (platformFacts);
    return 1;
}
} // namespace

extern "C" const int vur_platform_error_facts_installed = install();
