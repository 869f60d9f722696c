#include "src-base/platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>

// The port is a terminal device in raw mode. Reads are non-blocking at the descriptor and timed with poll()
// on the monotonic clock, so that they end exactly as a Windows ReadFile under the same COMMTIMEOUTS would:
// when the buffer is full, when the interval time-out passes after a byte, or when the total time-out
// passes. VMIN/VTIME cannot express the total time-out (and count in tenths of a second), so they stay 0.

namespace Ziz::sys
{
namespace
{
constexpr std::uint32_t maxDword = 0xffffffffu;
constexpr std::int64_t nsPerMs = 1000000;

std::int64_t monotonicNs()
{
    timespec now {};
    clock_gettime (CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t> (now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleepUntil (std::int64_t deadlineNs)
{
    for (std::int64_t now = monotonicNs(); now < deadlineNs; now = monotonicNs())
    {
        const std::int64_t left = deadlineNs - now;
        timespec pause { static_cast<time_t> (left / 1000000000), static_cast<long> (left % 1000000000) };
        nanosleep (&pause, nullptr);
    }
}

struct BaudEntry
{
    std::uint32_t rate;
    speed_t speed;
};

const BaudEntry baudTable[] = {
    { 50, B50 }, { 75, B75 }, { 110, B110 }, { 134, B134 }, { 150, B150 }, { 200, B200 }, { 300, B300 },
    { 600, B600 }, { 1200, B1200 }, { 1800, B1800 }, { 2400, B2400 }, { 4800, B4800 }, { 9600, B9600 },
    { 19200, B19200 }, { 38400, B38400 },
#ifdef B57600
    { 57600, B57600 },
#endif
#ifdef B115200
    { 115200, B115200 },
#endif
#ifdef B230400
    { 230400, B230400 },
#endif
#ifdef B460800
    { 460800, B460800 },
#endif
#ifdef B500000
    { 500000, B500000 },
#endif
#ifdef B576000
    { 576000, B576000 },
#endif
#ifdef B921600
    { 921600, B921600 },
#endif
#ifdef B1000000
    { 1000000, B1000000 },
#endif
#ifdef B1152000
    { 1152000, B1152000 },
#endif
#ifdef B1500000
    { 1500000, B1500000 },
#endif
#ifdef B2000000
    { 2000000, B2000000 },
#endif
#ifdef B2500000
    { 2500000, B2500000 },
#endif
#ifdef B3000000
    { 3000000, B3000000 },
#endif
#ifdef B3500000
    { 3500000, B3500000 },
#endif
#ifdef B4000000
    { 4000000, B4000000 },
#endif
};

bool speedFor (std::uint32_t rate, speed_t& speed)
{
    for (const auto& entry : baudTable)
    {
        if (entry.rate == rate)
        {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

std::uint32_t rateFor (speed_t speed)
{
    for (const auto& entry : baudTable)
    {
        if (entry.speed == speed)
            return entry.rate;
    }
    return 0;
}

CommSettings zeroSettings()
{
    CommSettings s;
    s.binary = false;
    s.byteSize = 0;
    return s;
}

// Sets or clears one modem line. A pseudo-terminal has no modem lines and says so with ENOTTY or EINVAL;
// that is no reason to refuse the settings.
bool setModemLine (int fd, int line, bool on)
{
    if (ioctl (fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    return errno == ENOTTY || errno == EINVAL;
}
} // namespace

// The open descriptor, and what termios has no place for: the time-outs the reads emulate and the settings
// last applied. The wake pipe lives as long as the object, not the port, so that interruptWait() never writes
// to a descriptor that a close on the reading thread has just given back.
struct SerialPort::Impl
{
    Impl()
    {
        int ends[2] = { -1, -1 };
        if (pipe2 (ends, O_CLOEXEC | O_NONBLOCK) == 0)
        {
            wakeRead = ends[0];
            wakeWrite = ends[1];
        }
    }

    ~Impl()
    {
        if (wakeRead >= 0)
            ::close (wakeRead);
        if (wakeWrite >= 0)
            ::close (wakeWrite);
    }

    Impl (const Impl&) = delete;
    Impl& operator= (const Impl&) = delete;

    void drainWakes() const
    {
        char sink[64];
        while (::read (wakeRead, sink, sizeof (sink)) > 0)
        {
        }
    }

    int fd = -1;
    CommTimeouts timeouts {};
    CommSettings lineSettings {};
    int wakeRead = -1;
    int wakeWrite = -1;
};

SerialPort::SerialPort() : impl (std::make_unique<Impl>()) {}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open (const std::string& deviceName)
{
    close();
    // No O_CREAT: only an existing device opens.
    const int opened = ::open (deviceName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0)
        return false;

    // No sharing: a port that another program holds is refused, and further opens of this one are refused
    // while we hold it. TIOCEXCL does not bind a privileged opener, the advisory lock covers that case.
    if (flock (opened, LOCK_EX | LOCK_NB) != 0)
    {
        const int saved = errno;
        ::close (opened);
        errno = saved;
        return false;
    }
    if (ioctl (opened, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL)
    {
        const int saved = errno;
        ::close (opened);
        errno = saved;
        return false;
    }

    impl->fd = opened;
    impl->timeouts = {};
    impl->lineSettings = zeroSettings();
    return true;
}

bool SerialPort::isOpen() const
{
    return impl->fd >= 0;
}

bool SerialPort::buildSettings (const std::string& modeString, CommSettings& settings) const
{
    const auto parsed = parseModeString (modeString, settings);
    if (! parsed)
    {
        errno = EINVAL;
        return false;
    }
    settings = *parsed;
    return true;
}

bool SerialPort::applySettings (const CommSettings& settings)
{
    if (impl->fd < 0)
    {
        errno = EBADF;
        return false;
    }

    termios tio {};
    if (tcgetattr (impl->fd, &tio) != 0)
        return false;

    speed_t speed {};
    if (! speedFor (settings.baudRate, speed))
    {
        errno = EINVAL;
        return false;
    }

    // The combinations a UART cannot send are refused, as SetCommState refuses them.
    tcflag_t size = 0;
    switch (settings.byteSize)
    {
        case 5: size = CS5; break;
        case 6: size = CS6; break;
        case 7: size = CS7; break;
        case 8: size = CS8; break;
        default: errno = EINVAL; return false;
    }
    if ((settings.stopBits == 1 && settings.byteSize != 5) || (settings.stopBits == 2 && settings.byteSize == 5)
        || settings.stopBits < 0 || settings.stopBits > 2)
    {
        errno = EINVAL;
        return false;
    }

    tcflag_t parity = 0;
    switch (settings.parity)
    {
        case 0: break;
        case 1: parity = PARENB | PARODD; break;
        case 2: parity = PARENB; break;
#ifdef CMSPAR
        case 3: parity = PARENB | PARODD | CMSPAR; break;
        case 4: parity = PARENB | CMSPAR; break;
#endif
        default: errno = EINVAL; return false;
    }

    // Raw bytes in both directions: nothing translated, nothing echoed, no signals.
    tio.c_iflag &= ~static_cast<tcflag_t> (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF
                                           | IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t> (OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t> (ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t> (CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    tio.c_cflag &= ~static_cast<tcflag_t> (CMSPAR);
#endif
#ifdef CRTSCTS
    tio.c_cflag &= ~static_cast<tcflag_t> (CRTSCTS);
#endif
    tio.c_cflag |= CLOCAL | CREAD | size | parity;
    if (settings.stopBits != 0)
        tio.c_cflag |= CSTOPB;   // with five data bits the line sends one and a half
    if (settings.parityCheck)
        tio.c_iflag |= INPCK;
    if (settings.outX)
        tio.c_iflag |= IXON;
    if (settings.inX)
        tio.c_iflag |= IXOFF;
#ifdef CRTSCTS
    // The kernel's hardware handshake both watches CTS and drives RTS.
    if (settings.outxCtsFlow || settings.rtsControl == 2)
        tio.c_cflag |= CRTSCTS;
#endif
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    if (cfsetispeed (&tio, speed) != 0 || cfsetospeed (&tio, speed) != 0)
        return false;
    if (tcsetattr (impl->fd, TCSANOW, &tio) != 0)
        return false;

    // DTR and RTS as asked; handshake and toggle modes have no kernel equivalent for DTR and keep it raised.
    if (! setModemLine (impl->fd, TIOCM_DTR, settings.dtrControl != 0))
        return false;
    if (settings.rtsControl != 2 && ! setModemLine (impl->fd, TIOCM_RTS, settings.rtsControl != 0))
        return false;

    impl->lineSettings = settings;
    return true;
}

bool SerialPort::applyTimeouts (const CommTimeouts& newTimeouts)
{
    if (impl->fd < 0)
    {
        errno = EBADF;
        return false;
    }
    impl->timeouts = newTimeouts;
    return true;
}

CommSettings SerialPort::currentSettings() const
{
    termios tio {};
    if (impl->fd < 0 || tcgetattr (impl->fd, &tio) != 0)
        return zeroSettings();

    // What the terminal holds is read back from it; the rest (DSR and handshake details that termios has no
    // place for) is what was last applied.
    CommSettings s = impl->lineSettings;
    s.baudRate = rateFor (cfgetispeed (&tio));
    s.binary = true;
    s.parityCheck = (tio.c_iflag & INPCK) != 0;
    s.outX = (tio.c_iflag & IXON) != 0;
    s.inX = (tio.c_iflag & IXOFF) != 0;
#ifdef CRTSCTS
    s.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
#endif
    switch (tio.c_cflag & CSIZE)
    {
        case CS5: s.byteSize = 5; break;
        case CS6: s.byteSize = 6; break;
        case CS7: s.byteSize = 7; break;
        default: s.byteSize = 8; break;
    }
    s.parity = 0;
    if ((tio.c_cflag & PARENB) != 0)
    {
        const bool odd = (tio.c_cflag & PARODD) != 0;
        s.parity = odd ? 1 : 2;
#ifdef CMSPAR
        if ((tio.c_cflag & CMSPAR) != 0)
            s.parity = odd ? 3 : 4;
#endif
    }
    s.stopBits = (tio.c_cflag & CSTOPB) == 0 ? 0 : (s.byteSize == 5 ? 1 : 2);
    return s;
}

std::size_t SerialPort::bytesWaiting() const
{
    int count = 0;
    if (impl->fd < 0 || ::ioctl (impl->fd, FIONREAD, &count) != 0 || count < 0)
        return 0;
    return static_cast<std::size_t> (count);
}

std::size_t SerialPort::read (char* buffer, std::size_t size)
{
    if (impl->fd < 0 || buffer == nullptr || size == 0)
        return 0;

    const std::uint32_t interval = impl->timeouts.readInterval;
    const std::uint32_t multiplier = impl->timeouts.readTotalMultiplier;
    const std::uint32_t constant = impl->timeouts.readTotalConstant;

    // MAXDWORD interval with no total time-out: whatever has arrived, at once.
    const bool immediate = interval == maxDword && multiplier == 0 && constant == 0;
    // MAXDWORD interval and multiplier with a constant: wait up to the constant for the first byte only.
    const bool firstByteOnly = interval == maxDword && multiplier == maxDword && constant != 0 && constant != maxDword;
    const bool hasTotal = ! immediate && (multiplier != 0 || constant != 0);
    const bool hasInterval = interval != 0 && interval != maxDword;

    const std::int64_t start = monotonicNs();
    std::int64_t totalDeadline = INT64_MAX;
    if (firstByteOnly)
        totalDeadline = start + static_cast<std::int64_t> (constant) * nsPerMs;
    else if (hasTotal)
    {
        // Milliseconds in a 64-bit count cannot overflow for any real buffer; an absurd one means no limit.
        const std::int64_t limitMs = (INT64_MAX - start) / nsPerMs;
        const auto totalMs = static_cast<long double> (multiplier) * static_cast<long double> (size) + constant;
        if (totalMs < static_cast<long double> (limitMs))
            totalDeadline = start + static_cast<std::int64_t> (totalMs) * nsPerMs;
    }

    std::size_t count = 0;
    std::int64_t lastByte = 0;
    bool hungUp = false;
    bool pollSawHangup = false;

    for (;;)
    {
        if (! hungUp)
        {
            const ssize_t got = ::read (impl->fd, buffer + count, size - count);
            if (got > 0)
            {
                count += static_cast<std::size_t> (got);
                lastByte = monotonicNs();
                if (count == size || firstByteOnly)
                    return count;
                continue;   // more may be waiting already
            }
            if (got < 0 && errno == EINTR)
                continue;
            // In raw mode with VMIN and VTIME 0 an idle line reads as 0 bytes, not EAGAIN. Nothing to read
            // right after poll() reported a hang-up means the line is dead; so does EIO (the far end of a pty
            // closed, a USB adapter pulled).
            if ((got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) || pollSawHangup)
                hungUp = true;
        }

        if (immediate)
            return count;

        std::int64_t until = totalDeadline;
        if (count > 0 && hasInterval)
            until = std::min (until, lastByte + static_cast<std::int64_t> (interval) * nsPerMs);

        const std::int64_t now = monotonicNs();
        if (now >= until)
            return count;

        if (hungUp)
        {
            // A dead line never becomes readable and poll() would report it at once: sit out the time a
            // silent line takes, so that a caller reading in a loop does not spin. Without any time-out
            // the read would never end; a short pause keeps the caller alive instead.
            sleepUntil (until == INT64_MAX ? now + 100 * nsPerMs : until);
            return count;
        }

        const std::int64_t waitNs = until == INT64_MAX ? -1 : until - now;
        const int waitMs = waitNs < 0 ? -1
                                      : static_cast<int> (std::min<std::int64_t> ((waitNs + nsPerMs - 1) / nsPerMs,
                                                                                  INT32_MAX));
        pollfd pfd { impl->fd, POLLIN, 0 };
        const int ready = poll (&pfd, 1, waitMs);
        if (ready < 0)
        {
            if (errno != EINTR)
                hungUp = true;
            continue;
        }
        // The wait ran its time with nothing to read: asking the line once more would only cost a system
        // call on every pass of a silent meter.
        if (ready == 0 && monotonicNs() >= until)
            return count;
        // A hung-up terminal may report itself readable too; the next read tells whether bytes are left.
        pollSawHangup = ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (pollSawHangup && (pfd.revents & POLLIN) == 0)
            hungUp = true;
    }
}

SerialPort::InputWait SerialPort::waitForInput (int timeoutMs)
{
    if (impl->fd < 0 || impl->wakeRead < 0)
        return InputWait::unsupported;

    const std::int64_t deadline = timeoutMs < 0 ? INT64_MAX : monotonicNs() + static_cast<std::int64_t> (timeoutMs) * nsPerMs;
    for (;;)
    {
        int waitMs = -1;
        if (deadline != INT64_MAX)
        {
            const std::int64_t left = deadline - monotonicNs();
            if (left <= 0)
                return InputWait::nothing;
            waitMs = static_cast<int> (std::min<std::int64_t> ((left + nsPerMs - 1) / nsPerMs, INT32_MAX));
        }
        pollfd watched[2] = { { impl->fd, POLLIN, 0 }, { impl->wakeRead, POLLIN, 0 } };
        const int ready = poll (watched, 2, waitMs);
        if (ready < 0)
        {
            if (errno == EINTR)
                continue;
            return InputWait::unsupported;   // the caller reads with the time-outs instead
        }
        if ((watched[1].revents & POLLIN) != 0)
        {
            impl->drainWakes();
            return InputWait::nothing;
        }
        // A hang-up or error counts as input: read() tells a dead line from one with bytes left, and sits it out.
        if (watched[0].revents != 0)
            return InputWait::input;
        // Otherwise the time ran out, or poll woke early: the loop's top decides which.
    }
}

void SerialPort::interruptWait()
{
    if (impl->wakeWrite < 0)
        return;
    const char wake = 1;
    // A full pipe already holds a wake; a failed write has nothing to report to.
    [[maybe_unused]] const ssize_t written = ::write (impl->wakeWrite, &wake, 1);
}

void SerialPort::close()
{
    if (impl->fd >= 0)
    {
        // The exclusive flag belongs to the terminal, not to this descriptor: clear it for the next opener.
        ioctl (impl->fd, TIOCNXCL);
        ::close (impl->fd);   // also drops the advisory lock
        impl->fd = -1;
    }
}
} // namespace Ziz::sys
