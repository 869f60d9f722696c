#include "src-base/platform/serial_port.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

namespace Ziz::sys
{
namespace
{
// A DCB zeroed except for its length, then filled with what CommSettings carries.
DCB toDcb (const CommSettings& s)
{
    DCB dcb;
    std::memset (&dcb, 0, sizeof (dcb));
    dcb.DCBlength = sizeof (DCB);
    dcb.BaudRate = s.baudRate;
    dcb.fBinary = s.binary ? 1 : 0;
    dcb.fParity = s.parityCheck ? 1 : 0;
    dcb.fOutxCtsFlow = s.outxCtsFlow ? 1 : 0;
    dcb.fOutxDsrFlow = s.outxDsrFlow ? 1 : 0;
    dcb.fDtrControl = static_cast<DWORD> (s.dtrControl) & 3u;
    dcb.fDsrSensitivity = s.dsrSensitivity ? 1 : 0;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff ? 1 : 0;
    dcb.fOutX = s.outX ? 1 : 0;
    dcb.fInX = s.inX ? 1 : 0;
    dcb.fNull = s.null ? 1 : 0;
    dcb.fRtsControl = static_cast<DWORD> (s.rtsControl) & 3u;
    dcb.fAbortOnError = s.abortOnError ? 1 : 0;
    dcb.XonLim = s.xonLim;
    dcb.XoffLim = s.xoffLim;
    dcb.ByteSize = s.byteSize;
    dcb.Parity = static_cast<BYTE> (s.parity);
    dcb.StopBits = static_cast<BYTE> (s.stopBits);
    dcb.ErrorChar = static_cast<char> (s.errorChar);
    return dcb;
}

CommSettings fromDcb (const DCB& dcb, bool infiniteTimeout)
{
    CommSettings s;
    s.baudRate = dcb.BaudRate;
    s.binary = dcb.fBinary != 0;
    s.parityCheck = dcb.fParity != 0;
    s.outxCtsFlow = dcb.fOutxCtsFlow != 0;
    s.outxDsrFlow = dcb.fOutxDsrFlow != 0;
    s.dtrControl = static_cast<int> (dcb.fDtrControl);
    s.dsrSensitivity = dcb.fDsrSensitivity != 0;
    s.txContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    s.outX = dcb.fOutX != 0;
    s.inX = dcb.fInX != 0;
    s.errorChar = static_cast<std::int8_t> (dcb.ErrorChar);
    s.null = dcb.fNull != 0;
    s.rtsControl = static_cast<int> (dcb.fRtsControl);
    s.abortOnError = dcb.fAbortOnError != 0;
    s.xonLim = dcb.XonLim;
    s.xoffLim = dcb.XoffLim;
    s.byteSize = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopBits = dcb.StopBits;
    s.infiniteTimeout = infiniteTimeout;
    return s;
}
} // namespace

// The open port's handle.
struct SerialPort::Impl
{
    HANDLE handle = INVALID_HANDLE_VALUE;
};

SerialPort::SerialPort() : impl (std::make_unique<Impl>()) {}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open (const std::string& deviceName)
{
    close();
    impl->handle = CreateFileA (deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return isOpen();
}

bool SerialPort::isOpen() const
{
    return impl->handle != INVALID_HANDLE_VALUE;
}

bool SerialPort::buildSettings (const std::string& modeString, CommSettings& settings) const
{
    DCB dcb = toDcb (settings);
    if (! BuildCommDCBA (modeString.c_str(), &dcb))
        return false;
    // BuildCommDCBA has no place for to=on/off; the portable parser knows it.
    const auto parsed = parseModeString (modeString, settings);
    settings = fromDcb (dcb, parsed ? parsed->infiniteTimeout : settings.infiniteTimeout);
    return true;
}

bool SerialPort::applySettings (const CommSettings& settings)
{
    DCB dcb = toDcb (settings);
    return SetCommState (impl->handle, &dcb) != 0;
}

bool SerialPort::applyTimeouts (const CommTimeouts& timeouts)
{
    COMMTIMEOUTS t;
    std::memset (&t, 0, sizeof (t));
    t.ReadIntervalTimeout = timeouts.readInterval;
    t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    return SetCommTimeouts (impl->handle, &t) != 0;
}

CommSettings SerialPort::currentSettings() const
{
    DCB dcb;
    std::memset (&dcb, 0, sizeof (dcb));
    dcb.DCBlength = sizeof (DCB);
    // Its result is not checked: a failed call leaves the zeroed block, which then reads as zeros.
    GetCommState (impl->handle, &dcb);
    return fromDcb (dcb, false);
}

std::size_t SerialPort::read (char* buffer, std::size_t size)
{
    if (buffer == nullptr || size == 0)
        return 0;
    DWORD count = 0;
    const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD> (size);
    if (! ReadFile (impl->handle, buffer, wanted, &count, nullptr))
        return 0;
    return count;
}

std::size_t SerialPort::bytesWaiting() const
{
    if (! isOpen())
        return 0;
    DWORD errors = 0;
    COMSTAT status {};
    if (! ClearCommError (impl->handle, &errors, &status))
        return 0;
    return status.cbInQue;
}

// The port is opened for synchronous reads, as the meters were commissioned; a wait that ends on the first
// byte or on another thread's word would need an overlapped handle. The caller reads with the time-outs.
SerialPort::InputWait SerialPort::waitForInput (int)
{
    return InputWait::unsupported;
}

void SerialPort::interruptWait() {}

void SerialPort::close()
{
    if (isOpen())
        CloseHandle (impl->handle);
    impl->handle = INVALID_HANDLE_VALUE;
}
} // namespace Ziz::sys
