#include "src-base/platform/system_errors.h"

#include "src-base/platform/win32_text.h"

#include <dbghelp.h>

#include <cxxabi.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace Ziz::sys
{
namespace
{
// DbgHelp is single-threaded: every use of it in the process goes through this lock.
std::recursive_mutex& symbolLock()
{
    static std::recursive_mutex lock;
    return lock;
}

// Case-insensitive, undecorated names, no critical-error boxes, 32-bit modules too, never prompt.
constexpr DWORD symbolOptions = 0x82203;
constexpr std::size_t maxSymbolName = 2000;

// Called with the lock held. A failed initialisation is not remembered, so the next capture tries again.
void initialiseSymbols()
{
    static bool initialised = false;
    if (initialised)
        return;
    SymSetOptions (symbolOptions);
    initialised = SymInitialize (GetCurrentProcess(), nullptr, TRUE) != FALSE;
}

std::string symbolName (HANDLE process, void* address)
{
    // SYMBOL_INFO ends in a one-character name; the buffer behind it holds the rest.
    alignas (SYMBOL_INFO) char buffer[sizeof (SYMBOL_INFO) + maxSymbolName] = {};
    auto* symbol = reinterpret_cast<SYMBOL_INFO*> (buffer);
    symbol->SizeOfStruct = sizeof (SYMBOL_INFO);
    symbol->MaxNameLen = static_cast<ULONG> (maxSymbolName);

    DWORD64 displacement = 0;
    if (SymFromAddr (process, reinterpret_cast<DWORD64> (address), &displacement, symbol) == FALSE
        || symbol->Name[0] == '\0')
        return "unknown";
    return std::string (symbol->Name, strnlen (symbol->Name, maxSymbolName));
}

// The symbol and message functions change the thread's last-error code and errno; a record built later
// must not report those as its own failure, so each routine here leaves both as it found them.
class KeepErrorCodes
{
public:
    KeepErrorCodes() : lastError (GetLastError()), errorNumber (errno) {}
    ~KeepErrorCodes()
    {
        errno = errorNumber;
        SetLastError (lastError);
    }
    KeepErrorCodes (const KeepErrorCodes&) = delete;
    KeepErrorCodes& operator= (const KeepErrorCodes&) = delete;

private:
    DWORD lastError;
    int errorNumber;
};

std::string demangle (const char* name)
{
    int status = 0;
    std::unique_ptr<char, void (*) (void*)> readable (abi::__cxa_demangle (name, nullptr, nullptr, &status), std::free);
    return status == 0 && readable != nullptr ? std::string (readable.get()) : std::string (name);
}
} // namespace

__attribute__ ((noinline)) std::vector<std::string> captureBacktrace (int skipFrames, int maxFrames)
{
    std::vector<std::string> names;
    if (maxFrames <= 0)
        return names;
    skipFrames = std::max (skipFrames, 0);

    const KeepErrorCodes keep;
    std::lock_guard<std::recursive_mutex> guard (symbolLock());
    initialiseSymbols();

    // The capture routine skips its own frame besides the caller's; the call accepts fewer than 63 frames
    // in all (skipped and captured) on older Windows.
    const DWORD skip = static_cast<DWORD> (std::min (skipFrames + 1, 61));
    const DWORD wanted = std::min (static_cast<DWORD> (maxFrames), 62 - skip);
    std::vector<void*> addresses (wanted);
    const USHORT count = RtlCaptureStackBackTrace (skip, wanted, addresses.data(), nullptr);

    const HANDLE process = GetCurrentProcess();
    names.reserve (count);
    for (USHORT i = 0; i < count; ++i)
        names.push_back (symbolName (process, addresses[i]));
    return names;
}

std::uint32_t lastErrorCode() { return GetLastError(); }

void setLastErrorCode (std::uint32_t code) { SetLastError (code); }

std::string errnoDescription (int errorNumber)
{
    const KeepErrorCodes keep;
    char buffer[1000] = {};
    if (strerror_s (buffer, sizeof (buffer), errorNumber) != 0)
        return {};
    return win32::utf8FromAnsi (buffer);
}

std::string lastErrorDescription (std::uint32_t code)
{
    const KeepErrorCodes keep;
    char* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
                      | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const DWORD length = FormatMessageA (flags, nullptr, code, MAKELANGID (LANG_NEUTRAL, SUBLANG_DEFAULT),
                                         reinterpret_cast<LPSTR> (&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? win32::utf8FromAnsi (std::string (text, length)) : std::string();
    if (text != nullptr)
        LocalFree (text);
    return message;
}

// MinGW's type_info names are mangled the Itanium way, as on Linux.
std::string readableTypeName (const std::type_info& type) { return demangle (type.name()); }
} // namespace Ziz::sys
