#pragma once

// One serial port, with the Windows semantics the meters were commissioned with.
// Win32: CreateFileA, BuildCommDCBA, SetCommState, SetCommTimeouts, GetCommState, ReadFile, CloseHandle.
// POSIX: termios with the same settings-string syntax; reads emulate COMMTIMEOUTS with poll().

#include "src-base/core/comm_settings.h"

#include <cstddef>
#include <memory>
#include <string>

namespace Ziz::sys
{
class SerialPort
{
public:
    SerialPort();
    ~SerialPort();
    SerialPort (const SerialPort&) = delete;
    SerialPort& operator= (const SerialPort&) = delete;

    // CreateFileA: read/write, no sharing, open existing only.
    bool open (const std::string& deviceName);
    bool isOpen() const;

    // BuildCommDCBA: the settings string in the Windows mode syntax; false where Windows rejects it.
    bool buildSettings (const std::string& modeString, CommSettings& settings) const;
    // SetCommState
    bool applySettings (const CommSettings& settings);
    // SetCommTimeouts
    bool applyTimeouts (const CommTimeouts& timeouts);
    // GetCommState: the settings in force (zeros when they cannot be read).
    CommSettings currentSettings() const;

    // ReadFile: at most size bytes; returns the count placed in buffer (0 on failure or time-out).
    std::size_t read (char* buffer, std::size_t size);

    // The bytes the port has received and not yet handed to a read (Win32: ClearCommError's cbInQue; POSIX:
    // FIONREAD); 0 when closed or unknown.
    std::size_t bytesWaiting() const;

    // What a wait for the meter ended with.
    enum class InputWait
    {
        input,       // there is something for read(): bytes, or a hang-up that read() sits out
        nothing,     // the time ran out, or interruptWait() was called
        unsupported  // the port cannot be waited on without reading (closed; Win32's synchronous handle)
    };

    // Blocks until the line has something for read(), or timeoutMs milliseconds pass (-1: no limit), or
    // another thread calls interruptWait(). Reads nothing, so that a caller may sleep through silence and
    // still read with the time-outs once the meter sends.
    InputWait waitForInput (int timeoutMs);
    // Any thread, any time the object lives: ends the current wait, or the next one if none is waiting.
    void interruptWait();

    void close();

private:
    // The open port and what it was last given: serial_port_posix.cpp, serial_port_win32.cpp.
    struct Impl;
    std::unique_ptr<Impl> impl;
};
} // namespace Ziz::sys
