#include "line_writer.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdexcept>

namespace
{
class ComWriter : public LineWriter
{
public:
    explicit ComWriter (HANDLE port) : handle (port) {}
    ~ComWriter() override { CloseHandle (handle); }

    bool write (const std::string& text, const std::atomic<bool>& stop) override
    {
        std::size_t done = 0;
        while (done < text.size())
        {
            if (stop)
                return false;
            DWORD written = 0;
            if (! WriteFile (handle, text.data() + done, static_cast<DWORD> (text.size() - done), &written, nullptr))
                return false;
            done += written;
        }
        return true;
    }

private:
    HANDLE handle;
};
} // namespace

std::unique_ptr<LineWriter> openPortWriter (const std::string& device, unsigned baud)
{
    HANDLE port = CreateFileA (device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        throw std::runtime_error ("cannot open " + device);

    DCB dcb {};
    dcb.DCBlength = sizeof (DCB);
    const std::string mode = "baud=" + std::to_string (baud) + " parity=N data=8 stop=1";
    if (! BuildCommDCBA (mode.c_str(), &dcb) || ! SetCommState (port, &dcb))
    {
        CloseHandle (port);
        throw std::runtime_error ("cannot configure " + device);
    }
    // Writes may wait for the line, but never for ever.
    COMMTIMEOUTS timeouts {};
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts (port, &timeouts);
    return std::make_unique<ComWriter> (port);
}

std::unique_ptr<LineWriter> openPtyWriter (unsigned)
{
    throw std::runtime_error ("--pty needs a POSIX system; give a COM port instead");
}
