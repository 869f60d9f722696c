// The serial port through Windows' own serial calls, against a meter on the far end of two COM ports joined
// back to back (com_meter.h).
// Wine does not refuse a second open of a port in use, as Windows does: that stays untested here.
#ifdef _WIN32

#include "com_meter.h"
#include "src-base/platform/serial_port.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
 #define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

using Ziz::CommSettings;
using Ziz::CommTimeouts;
using Ziz::sys::SerialPort;

namespace
{
const char* const defaultMode = "baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off";
const CommTimeouts meterTimeouts { 10, 10, 10, 10, 10 };
// ReadFile returns at once with whatever has arrived.
const CommTimeouts immediate { MAXDWORD, 0, 0, 0, 0 };

using Clock = std::chrono::steady_clock;

long long msSince (Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds> (Clock::now() - start).count();
}

class WineSerialPortTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        meter = std::make_unique<vurtest::ComMeter>();
        ASSERT_TRUE (meter->is_open()) << meter->problem;
        portName = meter->path;
    }

    void send (const std::string& bytes) { ASSERT_TRUE (meter->send (bytes)); }

    // Opens the meter's port with the default settings and the given time-outs, without what an earlier
    // test left on the line.
    void openConfigured (SerialPort& port, const CommTimeouts& timeouts = meterTimeouts)
    {
        ASSERT_TRUE (port.open (portName)) << portName << ": error " << GetLastError();
        CommSettings settings;
        ASSERT_TRUE (port.buildSettings (defaultMode, settings));
        ASSERT_TRUE (port.applySettings (settings));
        ASSERT_TRUE (port.applyTimeouts (immediate));
        char scrap[256];
        while (port.read (scrap, sizeof (scrap)) > 0)
        {
        }
        ASSERT_TRUE (port.applyTimeouts (timeouts));
    }

    static std::string readString (SerialPort& port, std::size_t size)
    {
        std::string buffer (size, '\0');
        buffer.resize (port.read (buffer.data(), buffer.size()));
        return buffer;
    }

    std::unique_ptr<vurtest::ComMeter> meter;
    std::string portName;
};
} // namespace

TEST_F (WineSerialPortTest, SettingsStringReachesTheDriverAndLinesArriveUnchanged)
{
    SerialPort port;
    openConfigured (port);

    const CommSettings now = port.currentSettings();
    EXPECT_EQ (now.baudRate, 9600u);
    EXPECT_EQ (now.byteSize, 8);
    EXPECT_EQ (now.parity, 0);
    EXPECT_EQ (now.stopBits, 0);
    EXPECT_EQ (now.dtrControl, 1);
    EXPECT_EQ (now.rtsControl, 1);
    EXPECT_FALSE (now.outX);
    EXPECT_FALSE (now.outxCtsFlow);

    send ("14.8\t14.2\r\n");
    EXPECT_EQ (readString (port, 11), "14.8\t14.2\r\n");

    // More than the buffer holds: the first read is full at once, the rest waits for the next.
    const std::string burst = "14.8\t14.2\r\n15.6\t15.0\r\n16.0\t15.";
    send (burst);
    EXPECT_EQ (readString (port, 11), burst.substr (0, 11));
    // What the first read left is known to be waiting, so a reader can take it without waiting for more.
    for (int i = 0; i < 500 && port.bytesWaiting() < burst.size() - 11; ++i)
        Sleep (10);
    EXPECT_EQ (port.bytesWaiting(), burst.size() - 11);
    EXPECT_EQ (readString (port, 100), burst.substr (11));
}

TEST_F (WineSerialPortTest, IdleReadWaitsOutTheTotalTimeoutAndABurstEndsItEarly)
{
    SerialPort port;
    openConfigured (port);

    // 100 bytes at 10 ms each plus 10 ms: an idle line returns nothing after about a second.
    auto start = Clock::now();
    EXPECT_EQ (readString (port, 100), "");
    const long long idle = msSince (start);
    EXPECT_GE (idle, 900);
    EXPECT_LT (idle, 5000);

    // A line that arrives in the middle of the wait ends the read by the interval time-out, not the total.
    // The total is half a minute here, so that a read the line ended stands out however slowly a loaded
    // machine runs the meter's thread and Wine's relay of the line.
    ASSERT_TRUE (port.applyTimeouts ({ 10, 10, 30000, 10, 10 }));
    std::thread meterThread ([this] {
        std::this_thread::sleep_for (std::chrono::milliseconds (200));
        send ("15.4\t14.8\r\n");
    });
    start = Clock::now();
    std::string line = readString (port, 100);
    const long long withLine = msSince (start);
    meterThread.join();
    if (line.size() < 11)
        line += readString (port, 100);   // the pseudo-terminals split the line
    EXPECT_EQ (line, "15.4\t14.8\r\n");
    EXPECT_LT (withLine, 15000);
}

#endif // _WIN32
