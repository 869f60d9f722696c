#pragma once

// The far end of a serial line: where the simulated meter writes its lines.

#include <atomic>
#include <memory>
#include <string>

class LineWriter
{
public:
    virtual ~LineWriter() = default;

    // Writes all of text; false when the line failed or stop was raised while the write waited.
    virtual bool write (const std::string& text, const std::atomic<bool>& stop) = 0;

    // For a terminal this program created: the path a reader opens ("/dev/pts/3"); empty otherwise.
    virtual std::string readerPath() const { return {}; }

    // Whether a reader has the terminal open (always true for a real port).
    virtual bool readerPresent() const { return true; }
};

// Opens an existing port (a device path, or a COM port name on Windows) for writing at baud, 8N1 raw.
// Throws std::runtime_error when it cannot.
std::unique_ptr<LineWriter> openPortWriter (const std::string& device, unsigned baud);

// Creates a pseudo-terminal in raw mode at baud; its reader end is readerPath(). Throws std::runtime_error
// where there are none (Windows) or when it fails.
std::unique_ptr<LineWriter> openPtyWriter (unsigned baud);
