#include "line_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace
{
speed_t speedFor (unsigned baud)
{
    switch (baud)
    {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: throw std::runtime_error ("unsupported baud rate " + std::to_string (baud));
    }
}

void makeRaw (termios& tio, unsigned baud)
{
    cfmakeraw (&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed (&tio, speedFor (baud));
    cfsetospeed (&tio, speedFor (baud));
}

class FdWriter : public LineWriter
{
public:
    FdWriter (int descriptor, std::string path) : fd (descriptor), slavePath (std::move (path)) {}
    ~FdWriter() override { ::close (fd); }

    bool write (const std::string& text, const std::atomic<bool>& stop) override
    {
        std::size_t done = 0;
        while (done < text.size())
        {
            if (stop)
                return false;
            const ssize_t n = ::write (fd, text.data() + done, text.size() - done);
            if (n > 0)
            {
                done += static_cast<std::size_t> (n);
                continue;
            }
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                return false;
            // Nobody is reading and the buffer is full (or a signal came): wait a little and look again.
            pollfd pfd { fd, POLLOUT, 0 };
            poll (&pfd, 1, 20);
        }
        return true;
    }

    std::string readerPath() const override { return slavePath; }

    bool readerPresent() const override
    {
        if (slavePath.empty())
            return true;
        // A pty master reports a hang-up for as long as no one has the slave open.
        pollfd pfd { fd, 0, 0 };
        return poll (&pfd, 1, 0) == 0 || (pfd.revents & POLLHUP) == 0;
    }

private:
    int fd;
    std::string slavePath;
};
} // namespace

std::unique_ptr<LineWriter> openPortWriter (const std::string& device, unsigned baud)
{
    const int fd = ::open (device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error ("cannot open " + device + ": " + std::strerror (errno));
    termios tio {};
    if (tcgetattr (fd, &tio) == 0)
    {
        makeRaw (tio, baud);
        tcsetattr (fd, TCSANOW, &tio);
    }
    return std::make_unique<FdWriter> (fd, std::string());
}

std::unique_ptr<LineWriter> openPtyWriter (unsigned baud)
{
    termios tio {};
    makeRaw (tio, baud);
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty (&master, &slave, name, &tio, nullptr) != 0)
        throw std::runtime_error (std::string ("openpty failed: ") + std::strerror (errno));
    // Raw from the start: bytes written before the reader configures the line arrive unchanged and are not
    // echoed back into the master. The slave is closed again so that the master can tell when a reader has it.
    ::close (slave);
    fcntl (master, F_SETFD, FD_CLOEXEC);
    fcntl (master, F_SETFL, fcntl (master, F_GETFL) | O_NONBLOCK);
    return std::make_unique<FdWriter> (master, std::string (name));
}
