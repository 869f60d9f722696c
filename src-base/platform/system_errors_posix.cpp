#include "src-base/platform/system_errors.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace Ziz::sys
{
namespace
{
std::recursive_mutex& captureLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::string demangle (const char* name)
{
    int status = 0;
    std::unique_ptr<char, void (*) (void*)> readable (abi::__cxa_demangle (name, nullptr, nullptr, &status), std::free);
    return status == 0 && readable != nullptr ? std::string (readable.get()) : std::string (name);
}

// GNU strerror_r returns the text; the XSI form fills the buffer. Both overloads keep the build portable.
[[maybe_unused]] std::string errorTextFrom (const char* result, const char*) { return result != nullptr ? result : ""; }
[[maybe_unused]] std::string errorTextFrom (int result, const char* buffer) { return result == 0 ? buffer : ""; }
} // namespace

std::vector<std::string> captureBacktrace (int skipFrames, int maxFrames)
{
    std::vector<std::string> names;
    if (maxFrames <= 0)
        return names;
    if (skipFrames < 0)
        skipFrames = 0;

    std::lock_guard<std::recursive_mutex> guard (captureLock());

    // Room for this routine's own frames: itself, and a wrapper of the system's call where a sanitizer puts
    // one. The caller's first frame is found by its return address, not counted.
    const int ownFramesAtMost = 4;
    const int wanted = skipFrames + maxFrames + ownFramesAtMost;
    std::vector<void*> addresses (static_cast<std::size_t> (wanted));
    const int count = ::backtrace (addresses.data(), wanted);

    int first = 1;
    for (int i = 0; i < count && i <= ownFramesAtMost; ++i)
        if (addresses[static_cast<std::size_t> (i)] == __builtin_return_address (0))
        {
            first = i;
            break;
        }

    for (int i = first + skipFrames; i < count && static_cast<int> (names.size()) < maxFrames; ++i)
    {
        Dl_info info {};
        if (dladdr (addresses[static_cast<std::size_t> (i)], &info) != 0 && info.dli_sname != nullptr)
            names.push_back (demangle (info.dli_sname));
        else
            names.emplace_back ("unknown");
    }
    return names;
}

std::uint32_t lastErrorCode() { return 0; }

void setLastErrorCode (std::uint32_t) {}

std::string errnoDescription (int errorNumber)
{
    char buffer[1000] = {};
    return errorTextFrom (strerror_r (errorNumber, buffer, sizeof (buffer)), buffer);
}

std::string lastErrorDescription (std::uint32_t) { return {}; }

std::string readableTypeName (const std::type_info& type) { return demangle (type.name()); }
} // namespace Ziz::sys
