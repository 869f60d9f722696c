// How long the meter port's reads take with the time-outs the reading loop uses (10 ms each):
// an idle 100-byte read should take 10 x 100 + 10 = 1010 ms, and a 30-byte burst should be handed over
// about 10 ms (one interval time-out) after its last byte.

#include "src-base/platform/serial_port.h"

#include <benchmark/benchmark.h>

// The meter is a pseudo-terminal, which Windows does not have.
#ifndef _WIN32

#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;

const char* const defaultMode = "baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off";

struct Meter
{
    int master = -1;
    int slave = -1;
    Ziz::sys::SerialPort port;

    Meter()
    {
        char name[256] = {};
        if (openpty (&master, &slave, name, nullptr, nullptr) != 0 || ! port.open (name))
            throw std::runtime_error ("no pseudo-terminal");
        Ziz::CommSettings settings;
        if (! port.buildSettings (defaultMode, settings) || ! port.applySettings (settings)
            || ! port.applyTimeouts ({ 10, 10, 10, 10, 10 }))
            throw std::runtime_error ("cannot configure the pseudo-terminal");
    }

    ~Meter()
    {
        port.close();
        ::close (slave);
        ::close (master);
    }
};

double msBetween (Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli> (b - a).count();
}

void BM_IdleRead100 (benchmark::State& state)
{
    Meter meter;
    char buffer[100];
    for (auto _ : state)
    {
        const auto start = Clock::now();
        const std::size_t n = meter.port.read (buffer, sizeof (buffer));
        const auto end = Clock::now();
        if (n != 0)
            state.SkipWithError ("bytes on an idle line");
        state.SetIterationTime (msBetween (start, end) / 1000.0);
    }
}

// The meter sends 30 bytes at the pace of 9600 baud (about 1.04 ms a byte); the read is timed from its
// start, and the hand-over delay from the moment the last byte was written.
void BM_Burst30 (benchmark::State& state)
{
    Meter meter;
    char buffer[100];
    double afterLastTotal = 0.0;
    double readTotal = 0.0;
    for (auto _ : state)
    {
        std::atomic<Clock::rep> lastByte { 0 };
        std::thread sender ([&]
        {
            const auto byteTime = std::chrono::microseconds (1042);
            auto next = Clock::now();
            for (int i = 0; i < 30; ++i)
            {
                const char c = static_cast<char> ('0' + i % 10);
                if (::write (meter.master, &c, 1) != 1)
                    break;
                lastByte = Clock::now().time_since_epoch().count();
                next += byteTime;
                std::this_thread::sleep_until (next);
            }
        });
        const auto start = Clock::now();
        const std::size_t n = meter.port.read (buffer, sizeof (buffer));
        const auto end = Clock::now();
        sender.join();
        if (n != 30)
            state.SkipWithError ("the burst was not returned whole");
        const Clock::time_point last { Clock::duration (lastByte.load()) };
        afterLastTotal += msBetween (last, end);
        readTotal += msBetween (start, end);
        state.SetIterationTime (msBetween (start, end) / 1000.0);
    }
    const auto count = static_cast<double> (state.iterations());
    state.counters["after_last_byte_ms"] = count > 0 ? afterLastTotal / count : 0.0;
    state.counters["read_ms"] = count > 0 ? readTotal / count : 0.0;
}
} // namespace

BENCHMARK (BM_IdleRead100)->UseManualTime()->Unit (benchmark::kMillisecond)->Iterations (5);
BENCHMARK (BM_Burst30)->UseManualTime()->Unit (benchmark::kMillisecond)->Iterations (50);

#endif // _WIN32

BENCHMARK_MAIN();
