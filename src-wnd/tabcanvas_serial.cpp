// The channel's serial link: the meter's port opened with its line settings and time-outs, read once a pass.

#include "src-wnd/tabcanvas.h"
#include "src-wnd/thread_contract.h"

#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-base/core/comm_settings.h"

#include <algorithm>

namespace
{
// The error records of the serial link name the file and lines they always had.
const char* const serial_source = "src-wnd\\serialcommwin32";

Ziz::CommTimeouts meter_timeouts()
{
    Ziz::CommTimeouts timeouts;
    timeouts.readInterval = 10;
    timeouts.readTotalMultiplier = 10;
    timeouts.readTotalConstant = 10;
    timeouts.writeTotalMultiplier = 10;
    timeouts.writeTotalConstant = 10;
    return timeouts;
}
} // namespace

std::int64_t TabCanvas::silent_read_ms (std::size_t read_len)
{
    const Ziz::CommTimeouts timeouts = meter_timeouts();
    return static_cast<std::int64_t> (timeouts.readTotalMultiplier) * static_cast<std::int64_t> (read_len)
           + timeouts.readTotalConstant;
}

void TabCanvas::open_serial_device (const std::string& device)
{
    VUR_ON_THREAD (*this);
    auto fail = [this] (const std::string& text, int line) {
        {
            const juce::ScopedLock guard (lock);
            state.error_messages.push_back (text);
        }
        throw Ziz::Exception ("TabCanvas::open_serial_device", serial_source, line, text);
    };

    if (! serial_handle.open (device))
        fail ("failed to open serial communication device " + device, 22);

    const std::string settings = cfg.get_str (prefix + "_comm_str");
    log_line ("device=" + device + ", str=" + settings);

    Ziz::CommSettings dcb;
    if (! serial_handle.buildSettings (settings, dcb))
        fail ("failed to build DCB with \"" + settings + "\"", 35);

    if (! serial_handle.applySettings (dcb))
        fail ("failure in call to SetCommState() for device " + device, 43);

    const Ziz::CommTimeouts timeouts = meter_timeouts();
    log_line_of ("max time between read: ", timeouts.readInterval, " read multiplier of chars: ", timeouts.readTotalMultiplier,
                 " read constant in millisecs: ", timeouts.readTotalConstant, " write multiplier of chars: ",
                 timeouts.writeTotalMultiplier, " write constant in millisecs: ", timeouts.writeTotalConstant);

    if (! serial_handle.applyTimeouts (timeouts))
        fail ("failure in call to SetCommTimeouts() for device " + device, 64);

    log_line (Ziz::describeCommSettings (device, serial_handle.currentSettings()));
}

void TabCanvas::close_serial_device()
{
    VUR_ON_THREAD (*this);
    serial_handle.close();
}

std::string TabCanvas::read_serial (std::string& result, std::vector<char>& read_buffer)
{
    VUR_ON_THREAD (*this);
    const std::size_t count = serial_handle.read (read_buffer.data(), read_buffer.size());
    result.assign (read_buffer.data(), count);

    // One read takes at most a buffer, and a fast meter (or a port that gathered while a pass ran late)
    // leaves more waiting, where a driver whose buffer fills drops it without a word. The pass takes what
    // the port holds, without waiting for more, up to max_serial_bytes_per_pass.
    const std::size_t limit = std::max (read_buffer.size(), max_serial_bytes_per_pass);
    while (count == read_buffer.size() && result.size() < limit && ! threadShouldExit())
    {
        const std::size_t waiting = std::min ({ serial_handle.bytesWaiting(), read_buffer.size(), limit - result.size() });
        if (waiting == 0)
            break;
        const std::size_t more = serial_handle.read (read_buffer.data(), waiting);
        if (more == 0)
            break;
        result.append (read_buffer.data(), more);
    }
    return result;
}
