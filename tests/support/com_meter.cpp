#include "com_meter.h"

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
 #define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <sstream>

namespace vurtest
{
namespace
{
// The meter's line as the product's default settings have it.
const char* const meterMode = "baud=9600 parity=N data=8 stop=1";

std::string errorText (const std::string& what, const std::string& name)
{
    return what + " " + name + ": error " + std::to_string (GetLastError());
}

// A mutex name may not hold a backslash.
std::string claimName (const std::string& port)
{
    std::string name = "vur-test-meter-";
    for (const char c : port)
        if (c != '\\' && c != '.')
            name += c;
    return name;
}
} // namespace

ComMeter::ComMeter()
{
    const char* pairs = std::getenv ("VUR_TEST_METER_PORTS");
    if (pairs == nullptr || *pairs == '\0')
    {
        problem = "VUR_TEST_METER_PORTS is not set: tests/win/run-suite.sh maps joined COM ports";
        return;
    }

    std::istringstream list (pairs);
    for (std::string pair; list >> pair;)
    {
        const auto colon = pair.find (':');
        if (colon == std::string::npos)
        {
            problem = "VUR_TEST_METER_PORTS: \"" + pair + "\" is not PORT:FAR-END";
            return;
        }
        const std::string port = pair.substr (0, colon);
        const std::string far_name = pair.substr (colon + 1);

        HANDLE mutex = CreateMutexA (nullptr, FALSE, claimName (far_name).c_str());
        if (mutex == nullptr)
            continue;
        const DWORD taken = WaitForSingleObject (mutex, 0);
        if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED)
        {
            CloseHandle (mutex);
            continue;
        }
        claim = mutex;

        far_end = CreateFileA (far_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (far_end == INVALID_HANDLE_VALUE)
        {
            far_end = nullptr;
            problem = errorText ("cannot open the meter's end", far_name);
            release();
            return;
        }
        DCB dcb {};
        dcb.DCBlength = sizeof (dcb);
        if (! BuildCommDCBA (meterMode, &dcb) || ! SetCommState (far_end, &dcb))
        {
            problem = errorText ("cannot set up the meter's end", far_name);
            release();
            return;
        }
        path = port;
        drain_port();
        return;
    }
    problem = std::string ("every pair of VUR_TEST_METER_PORTS is in use: ") + pairs;
}

ComMeter::~ComMeter()
{
    if (is_open())
        drain_port();
    release();
}

bool ComMeter::send (const std::string& text) const
{
    std::size_t done = 0;
    while (far_end != nullptr && done < text.size())
    {
        DWORD written = 0;
        if (! WriteFile (far_end, text.data() + done, static_cast<DWORD> (text.size() - done), &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return done == text.size();
}

void ComMeter::drain_port() const
{
    HANDLE port = CreateFileA (path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return;
    COMMTIMEOUTS immediate { MAXDWORD, 0, 0, 0, 0 };
    SetCommTimeouts (port, &immediate);
    PurgeComm (port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    char scrap[256];
    DWORD got = 0;
    while (ReadFile (port, scrap, sizeof (scrap), &got, nullptr) && got > 0)
    {
    }
    CloseHandle (port);
}

void ComMeter::release()
{
    if (far_end != nullptr)
        CloseHandle (far_end);
    far_end = nullptr;
    if (claim != nullptr)
    {
        ReleaseMutex (claim);
        CloseHandle (claim);
    }
    claim = nullptr;
    path.clear();
}
} // namespace vurtest

#endif // _WIN32
