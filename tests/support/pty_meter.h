#pragma once

// A meter on a pseudo-terminal, for the tests on POSIX systems: the code under test opens the far end (the
// slave) by its path, the test plays the meter on the near end (the master). Both ends are closed with the
// object, also when a failed assertion leaves a test early, so that no test leaks terminals into the next.

#ifndef _WIN32

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vurtest
{
class PtyMeter
{
public:
    // raw: the line carries every byte unchanged from the start, as a serial line does. as_opened: the line
    // keeps the terminal's usual processing until the code under test sets it up, for tests of that set-up.
    enum class Line
    {
        raw,
        as_opened
    };

    explicit PtyMeter (Line line = Line::raw)
    {
        termios settings {};
        cfmakeraw (&settings);
        char name[256] = {};
        if (openpty (&master, &slave, name, line == Line::raw ? &settings : nullptr, nullptr) == 0)
            path = name;
    }

    ~PtyMeter()
    {
        hang_up();
        close_slave();
    }

    PtyMeter (const PtyMeter&) = delete;
    PtyMeter& operator= (const PtyMeter&) = delete;

    // Whether the terminal was made; path is empty when it was not.
    bool is_open() const { return ! path.empty(); }

    // Writes all of text, as the meter sends it; false when the line took less (after a hang-up, say).
    bool send (const std::string& text) const
    {
        std::size_t done = 0;
        while (done < text.size())
        {
            const ssize_t n = ::write (master, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t> (n);
        }
        return true;
    }

    // The meter side goes away, as a pulled cable or a dead adapter does.
    void hang_up()
    {
        if (master >= 0)
            ::close (master);
        master = -1;
    }

    // The test's own hold on the far end ends: with the meter side gone too, the line is dead for good.
    void close_slave()
    {
        if (slave >= 0)
            ::close (slave);
        slave = -1;
    }

    std::string path;

private:
    int master = -1;
    int slave = -1;
};
} // namespace vurtest

#endif // _WIN32
