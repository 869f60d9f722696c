#include "src-base/platform/serial_port.h"
#include "src-wnd/core/sim_table.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <string>

using Ziz::CommSettings;
using Ziz::CommTimeouts;
using Ziz::sys::SerialPort;

namespace
{
const char* const defaultMode = "baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off";
const CommTimeouts meterTimeouts { 10, 10, 10, 10, 10 };
} // namespace

TEST (SerialPort, MissingDeviceAndBadSettingsAreRefused)
{
    SerialPort missing;
    EXPECT_FALSE (missing.open (vurtest::makeTempDir ("serial") + "/ttyNOPE"));
    EXPECT_FALSE (missing.isOpen());
    char byte = 0;
    EXPECT_EQ (missing.read (&byte, 1), 0u);
    EXPECT_FALSE (missing.applyTimeouts (meterTimeouts));
    EXPECT_EQ (missing.currentSettings().baudRate, 0u);

    CommSettings settings;
    ASSERT_TRUE (missing.buildSettings (defaultMode, settings));
    EXPECT_EQ (settings.baudRate, 9600u);
    EXPECT_EQ (settings.byteSize, 8);
    EXPECT_EQ (settings.dtrControl, 1);
    EXPECT_EQ (settings.rtsControl, 1);
    EXPECT_FALSE (missing.buildSettings ("baud=9600 parity=x", settings));
    EXPECT_FALSE (missing.buildSettings ("speed=9600", settings));
}

// Pseudo-terminals stand in for meters on POSIX systems.
#ifndef _WIN32

#include "tests/support/pty_meter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <regex>
#include <thread>
#include <vector>

extern char** environ;

namespace
{

using Clock = std::chrono::steady_clock;

long long msSince (Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds> (Clock::now() - start).count();
}

long long threadCpuMs()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<long long> (t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A meter on a pseudo-terminal: the test writes on the master, the port under test opens the slave by path.
// The line is left as opened, so that what the port sets up shows.
class SerialPortTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE (meter.is_open()); }

    void send (const std::string& bytes) { ASSERT_TRUE (meter.send (bytes)); }

    // Opens the slave as the meter's port with the default settings and the given time-outs.
    void openConfigured (SerialPort& port, const CommTimeouts& timeouts = meterTimeouts)
    {
        ASSERT_TRUE (port.open (path));
        CommSettings settings;
        ASSERT_TRUE (port.buildSettings (defaultMode, settings));
        ASSERT_TRUE (port.applySettings (settings));
        ASSERT_TRUE (port.applyTimeouts (timeouts));
    }

    std::string readString (SerialPort& port, std::size_t size)
    {
        std::string buffer (size, '\0');
        buffer.resize (port.read (buffer.data(), buffer.size()));
        return buffer;
    }

    vurtest::PtyMeter meter { vurtest::PtyMeter::Line::as_opened };
    const std::string& path = meter.path;
};
} // namespace

TEST_F (SerialPortTest, ConfiguredPortReadsTheMeterLineUnchanged)
{
    SerialPort port;
    openConfigured (port);
    EXPECT_TRUE (port.isOpen());
    EXPECT_EQ (Ziz::describeCommSettings (path, port.currentSettings()),
               "device=" + path + " Baud=9600 Binary=1 Parity=0 OutxCtsFlow=0 OutxDsrFlow=0 DtrControl=1 "
               "DsrSensitivity=0 TXContinueOnXoff=0 OutX=0 InX=0 ErrorChar=0 Null=0 RtsControl=1 AbortOnError=0 "
               "XonLim=0 XoffLim=0 ByteSize=8 Parity=0 StopBits=0");

    // Raw: the carriage return is neither turned into a line feed nor held back for a whole line.
    send ("14.8\t14.2\r\n");
    EXPECT_EQ (readString (port, 11), "14.8\t14.2\r\n");
    send ("15.6\t15.0\r");
    EXPECT_EQ (readString (port, 11), "15.6\t15.0\r");

    port.close();
    EXPECT_FALSE (port.isOpen());
}

TEST_F (SerialPortTest, SettingsReachTheLineOrAreRefused)
{
    // A pseudo-terminal always carries eight bits without parity, whatever it is told; the rest it keeps.
    struct Case
    {
        const char* mode;
        bool applies;
        std::uint32_t baud;
        int stopBits;
        bool xon, cts;
    };
    const Case cases[] = {
        { "baud=19200 parity=e data=7 stop=2 xon=on", true, 19200, 2, true, false },
        { "baud=115200 parity=o data=8 stop=1 octs=on", true, 115200, 0, false, true },
        { "baud=4800 data=8 stop=2 rts=hs", true, 4800, 2, false, true },
        { "9600,n,8,1,x", true, 9600, 0, true, false },
        // What a UART cannot do is refused, as SetCommState refuses it.
        { "baud=9600 data=8 stop=1.5", false, 0, 0, false, false },
        { "baud=9600 data=5 stop=2", false, 0, 0, false, false },
        { "baud=12345", false, 0, 0, false, false },
        { "baud=0", false, 0, 0, false, false },
    };

    SerialPort port;
    ASSERT_TRUE (port.open (path));
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.mode);
        CommSettings settings;
        ASSERT_TRUE (port.buildSettings (c.mode, settings));
        ASSERT_EQ (port.applySettings (settings), c.applies);
        if (! c.applies)
            continue;
        const CommSettings now = port.currentSettings();
        EXPECT_EQ (now.baudRate, c.baud);
        EXPECT_EQ (now.stopBits, c.stopBits);
        EXPECT_EQ (now.outX, c.xon);
        EXPECT_EQ (now.inX, c.xon);
        EXPECT_EQ (now.outxCtsFlow, c.cts);
    }
}

TEST_F (SerialPortTest, BytesWaitingCountsWhatIsReceivedAndNotYetRead)
{
    SerialPort port;
    EXPECT_EQ (port.bytesWaiting(), 0u);
    openConfigured (port);
    send ("14.8\t14.2\r\n15.6\t15.0\r\n16.0\t15.");
    for (int i = 0; i < 500 && port.bytesWaiting() < 30; ++i)
        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    EXPECT_EQ (port.bytesWaiting(), 30u);
    char buffer[11];
    ASSERT_EQ (port.read (buffer, sizeof buffer), 11u);
    EXPECT_EQ (port.bytesWaiting(), 19u);
}

TEST_F (SerialPortTest, PortInUseDoesNotOpenTwice)
{
    SerialPort first;
    ASSERT_TRUE (first.open (path));
    SerialPort second;
    EXPECT_FALSE (second.open (path));
    first.close();
    EXPECT_TRUE (second.open (path));
}

TEST_F (SerialPortTest, BurstIsReturnedWholeAndFullBuffersAtOnce)
{
    SerialPort port;
    openConfigured (port);

    const std::string burst = "14.8\t14.2\r\n15.6\t15.0\r\n16.0\t15.";
    ASSERT_EQ (burst.size(), 30u);
    send (burst);
    EXPECT_EQ (readString (port, 100), burst);

    // Bytes that keep coming closer together than the interval time-out belong to one read. The gaps are a
    // hundredth of the interval, so that a loaded machine cannot stretch one past it; the total time-out is long
    // enough that the read waits for the first byte however late the writer starts.
    ASSERT_TRUE (port.applyTimeouts ({ 500, 10, 10000 }));
    std::thread writer ([this]
    {
        for (char c : std::string ("15.4\t14.8\r\n"))
        {
            meter.send (std::string (1, c));
            std::this_thread::sleep_for (std::chrono::milliseconds (5));
        }
    });
    const std::string trickle = readString (port, 100);
    writer.join();
    EXPECT_EQ (trickle, "15.4\t14.8\r\n");
    ASSERT_TRUE (port.applyTimeouts (meterTimeouts));

    send (burst);
    EXPECT_EQ (readString (port, 11), burst.substr (0, 11));
    EXPECT_EQ (readString (port, 11), burst.substr (11, 11));
    EXPECT_EQ (readString (port, 11), burst.substr (22));
}

TEST_F (SerialPortTest, SilenceAfterTheFirstByteEndsTheRead)
{
    // The total time-out is a minute: a read of part of a line that ends sooner was ended by the silence.
    SerialPort port;
    openConfigured (port, { 50, 10, 60000, 0, 0 });

    send ("14.8\t");
    const auto start = Clock::now();
    EXPECT_EQ (readString (port, 100), "14.8\t");
    const long long elapsed = msSince (start);
    EXPECT_GE (elapsed, 50);      // the silence is waited out in full
    EXPECT_LT (elapsed, 30000);   // and not the total time-out
    // The rest of the line, sent after that read ended, is the next read's.
    send ("14.2\r\n");
    EXPECT_EQ (readString (port, 100), "14.2\r\n");
}

TEST_F (SerialPortTest, IdleAndHungUpLinesWaitOutTheTotalTimeout)
{
    SerialPort port;
    openConfigured (port, { 10, 1, 100 });   // 100 bytes: 200 ms in all

    auto start = Clock::now();
    EXPECT_EQ (readString (port, 100), "");
    EXPECT_GE (msSince (start), 100);

    // With the far end gone a descriptor is "ready" at once; the read must still take its time, not spin.
    meter.hang_up();
    meter.close_slave();
    for (int i = 0; i < 3; ++i)
    {
        start = Clock::now();
        const long long cpuBefore = threadCpuMs();
        EXPECT_EQ (readString (port, 100), "");
        const long long elapsed = msSince (start);
        EXPECT_GE (elapsed, 100);
        EXPECT_LT (threadCpuMs() - cpuBefore, elapsed / 10 + 5) << "the read spun";
    }
}

namespace
{
// vur-meter-sim as a child process: its stdout on a pipe, its stderr in a file.
struct Simulator
{
    pid_t pid = -1;
    int out = -1;
    std::string errors = vurtest::makeTempDir ("meter-sim") + "/stderr.txt";

    ~Simulator()
    {
        if (out >= 0)
            ::close (out);
        if (pid > 0)
        {
            kill (pid, SIGKILL);
            waitpid (pid, nullptr, 0);
        }
    }

    bool start (std::vector<std::string> args)
    {
        const std::string program = std::string (VUR_BINARY_DIR) + "/bin/vur-meter-sim";
        args.insert (args.begin(), program);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back (a.data());
        argv.push_back (nullptr);

        int fds[2];
        if (pipe (fds) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init (&actions);
        posix_spawn_file_actions_adddup2 (&actions, fds[1], 1);
        posix_spawn_file_actions_addclose (&actions, fds[0]);
        posix_spawn_file_actions_addopen (&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int rc = posix_spawn (&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy (&actions);
        ::close (fds[1]);
        out = fds[0];
        return rc == 0;
    }

    // The terminal's path from the first line, "PTY <path>"; empty when that line is something else.
    std::string ptyPath()
    {
        std::string line;
        char c = 0;
        while (::read (out, &c, 1) == 1 && c != '\n')
            line += c;
        return line.rfind ("PTY /dev/", 0) == 0 ? line.substr (4) : std::string();
    }

    // Waits up to timeoutMs for the program to end by itself; its exit status, or -1.
    int wait (int timeoutMs)
    {
        const auto begin = Clock::now();
        while (msSince (begin) < timeoutMs)
        {
            int status = 0;
            if (waitpid (pid, &status, WNOHANG) == pid)
            {
                pid = -1;
                return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
            }
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }
        return -1;
    }
};
} // namespace

TEST_F (SerialPortTest, AWaitForTheMeterEndsOnInputOnAWordFromAnotherThreadOrOnTime)
{
    using Wait = SerialPort::InputWait;
    SerialPort port;
    EXPECT_EQ (port.waitForInput (-1), Wait::unsupported);   // closed: nothing to wait on, at once
    openConfigured (port);

    // Silence: the time runs out.
    auto start = Clock::now();
    EXPECT_EQ (port.waitForInput (100), Wait::nothing);
    EXPECT_GE (msSince (start), 100);

    // Bytes that arrive during a wait end it, and are left for the read.
    std::thread meterSide ([this] {
        std::this_thread::sleep_for (std::chrono::milliseconds (200));
        meter.send ("14.8\t14.2\r\n");
    });
    EXPECT_EQ (port.waitForInput (60000), Wait::input);
    meterSide.join();
    EXPECT_EQ (readString (port, 100), "14.8\t14.2\r\n");

    // A word from another thread ends a wait without a limit; one given before the wait ends the next wait,
    // once, so that a thread told to exit just before it waits is not left asleep.
    std::thread stopper ([&port] {
        std::this_thread::sleep_for (std::chrono::milliseconds (200));
        port.interruptWait();
    });
    start = Clock::now();
    EXPECT_EQ (port.waitForInput (-1), Wait::nothing);
    stopper.join();
    EXPECT_LT (msSince (start), 30000);
    port.interruptWait();
    port.interruptWait();
    EXPECT_EQ (port.waitForInput (-1), Wait::nothing);
    start = Clock::now();
    EXPECT_EQ (port.waitForInput (100), Wait::nothing);
    EXPECT_GE (msSince (start), 100);

    // A dead line is input: the read is what tells it and sits it out.
    meter.hang_up();
    EXPECT_EQ (port.waitForInput (60000), Wait::input);
}

TEST (MeterSimulator, PlaysTheTableOntoItsPseudoTerminal)
{
    Simulator sim;
    ASSERT_TRUE (sim.start ({ "--pty", "--full", "--count", "20", "--start", "1381", "--wait-open" }));
    const std::string device = sim.ptyPath();
    ASSERT_FALSE (device.empty());

    SerialPort port;
    ASSERT_TRUE (port.open (device));
    CommSettings settings;
    ASSERT_TRUE (port.buildSettings (defaultMode, settings));
    ASSERT_TRUE (port.applySettings (settings));
    ASSERT_TRUE (port.applyTimeouts (meterTimeouts));

    // Rows 1381 to 1400, counting from 1, with the two invalid averages among them.
    std::string expected;
    for (std::uint64_t position = 1380; position < 1400; ++position)
        expected += simulation_row (position);
    std::string received;
    const auto start = Clock::now();
    char buffer[11];
    while (received.size() < expected.size() && msSince (start) < 10000)
        received.append (buffer, port.read (buffer, sizeof (buffer)));
    EXPECT_EQ (received, expected);

    // Its reader done, the simulator ends by itself.
    port.close();
    EXPECT_EQ (sim.wait (5000), 0);
    EXPECT_EQ (vurtest::readFile (sim.errors), "sent 20 boards\n");
}

TEST (MeterSimulator, StopsCleanlyOnTerminate)
{
    Simulator sim;
    ASSERT_TRUE (sim.start ({ "--pty", "--rate", "0.1" }));
    ASSERT_FALSE (sim.ptyPath().empty());
    kill (sim.pid, SIGTERM);
    EXPECT_EQ (sim.wait (5000), 0);
    EXPECT_TRUE (std::regex_match (vurtest::readFile (sim.errors), std::regex ("sent [01] boards\n")));
}

#endif // _WIN32
