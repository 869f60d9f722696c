// vur-meter-sim: a stand-in for a moisture meter. It plays the simulation table (or the lines of a text
// file) onto a serial port, or onto a pseudo-terminal it creates, one board line at a time.

#include "line_writer.h"

#include "src-wnd/core/sim_table.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace
{
std::atomic<bool> stopRequested { false };

#ifdef _WIN32
BOOL WINAPI onConsoleEvent (DWORD)
{
    stopRequested = true;
    return TRUE;
}

void installStopHandlers()
{
    SetConsoleCtrlHandler (onConsoleEvent, TRUE);
}
#else
extern "C" void onStopSignal (int)
{
    stopRequested = true;
}

void installStopHandlers()
{
    // No SA_RESTART: a write waiting on a full line returns so the stop is seen at once.
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset (&action.sa_mask);
    sigaction (SIGTERM, &action, nullptr);
    sigaction (SIGINT, &action, nullptr);
}
#endif

struct Options
{
    std::string device;
    bool pty = false;
    double rate = 1.0;            // boards per second
    bool full = false;            // as fast as the line carries them
    std::uint64_t count = 0;      // 0: no limit
    std::string file;
    std::int64_t start = 0;       // 1-based row; 0: random
    unsigned baud = 9600;
    bool waitOpen = false;
};

const char* const usage =
    "usage: vur-meter-sim (--pty | DEVICE) [options]\n"
    "  --pty            create a pseudo-terminal; its path is printed first as \"PTY <path>\"\n"
    "  DEVICE           an existing serial port (a path, or a COM port name on Windows)\n"
    "  --rate R         boards per second, fractions allowed (default 1)\n"
    "  --full           as fast as the line carries them at the baud rate (8N1: 10 bits a byte)\n"
    "  --count N        stop after N boards (a pty then stays open until its reader closes it)\n"
    "  --file PATH      play the lines of PATH (each sent with CR LF) instead of the built-in table\n"
    "  --start ROW      first row to play, counting from 1 (default: a random row)\n"
    "  --baud B         line speed (default 9600)\n"
    "  --wait-open      with --pty, start playing when a reader has opened the terminal\n"
    "Plays in a loop until --count is reached or SIGTERM/SIGINT; reports \"sent N boards\" on stderr.\n";

[[noreturn]] void fail (const std::string& message, int status)
{
    std::cerr << "vur-meter-sim: " << message << "\n";
    if (status == 2)
        std::cerr << usage;
    std::exit (status);
}

Options parseOptions (int argc, char** argv)
{
    Options o;
    auto value = [&] (int& i) -> std::string
    {
        if (i + 1 >= argc)
            fail (std::string ("missing value after ") + argv[i], 2);
        return argv[++i];
    };
    try
    {
        for (int i = 1; i < argc; ++i)
        {
            const std::string arg = argv[i];
            if (arg == "--pty")
                o.pty = true;
            else if (arg == "--rate")
                o.rate = std::stod (value (i));
            else if (arg == "--full")
                o.full = true;
            else if (arg == "--count")
                o.count = std::stoull (value (i));
            else if (arg == "--file")
                o.file = value (i);
            else if (arg == "--start")
                o.start = std::stoll (value (i));
            else if (arg == "--baud")
                o.baud = static_cast<unsigned> (std::stoul (value (i)));
            else if (arg == "--wait-open")
                o.waitOpen = true;
            else if (arg == "--help" || arg == "-h")
            {
                std::cout << usage;
                std::exit (0);
            }
            else if (! arg.empty() && arg[0] == '-')
                fail ("unknown option " + arg, 2);
            else if (o.device.empty())
                o.device = arg;
            else
                fail ("more than one device given", 2);
        }
    }
    catch (const std::logic_error&)
    {
        fail ("a numeric option has no valid number", 2);
    }
    if (o.pty == ! o.device.empty())
        fail ("give either --pty or a device", 2);
    if (! o.full && ! (o.rate > 0.0))
        fail ("--rate must be greater than 0", 2);
    if (o.baud == 0)
        fail ("--baud must be greater than 0", 2);
    if (o.start < 0)
        fail ("--start counts from 1", 2);
    return o;
}

std::vector<std::string> loadLines (const Options& o)
{
    if (o.file.empty())
        return simulation_table();

    std::ifstream in (std::filesystem::u8path (o.file), std::ios::binary);
    if (! in)
        fail ("cannot read " + o.file, 1);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline (in, line))
    {
        if (! line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back (line + "\r\n");
    }
    if (lines.empty())
        fail (o.file + " holds no lines", 1);
    return lines;
}

// Sleeps until the deadline in short slices, so that a stop request is seen within a few milliseconds.
void sleepUntil (std::chrono::steady_clock::time_point deadline)
{
    const auto slice = std::chrono::milliseconds (20);
    for (auto now = std::chrono::steady_clock::now(); now < deadline && ! stopRequested;
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_for (std::min<std::chrono::steady_clock::duration> (deadline - now, slice));
}
} // namespace

int main (int argc, char** argv)
{
    const Options options = parseOptions (argc, argv);
    installStopHandlers();

    const std::vector<std::string> lines = loadLines (options);

    std::unique_ptr<LineWriter> writer;
    try
    {
        writer = options.pty ? openPtyWriter (options.baud) : openPortWriter (options.device, options.baud);
    }
    catch (const std::exception& e)
    {
        fail (e.what(), 1);
    }
    if (options.pty)
        std::cout << "PTY " << writer->readerPath() << std::endl;

    if (options.waitOpen)
    {
        while (! stopRequested && ! writer->readerPresent())
            std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }

    std::uint64_t position = 0;
    if (options.start > 0)
        position = static_cast<std::uint64_t> (options.start - 1);
    else
        position = std::mt19937_64 (std::random_device {}())();

    using Clock = std::chrono::steady_clock;
    // One byte on the wire is a start bit, eight data bits and a stop bit.
    const auto byteTime = std::chrono::duration<double> (10.0 / options.baud);
    const auto boardTime = std::chrono::duration<double> (1.0 / options.rate);

    std::uint64_t sent = 0;
    auto deadline = Clock::now();
    bool readerSeen = writer->readerPresent();
    while (! stopRequested && (options.count == 0 || sent < options.count))
    {
        const std::string& line = lines[static_cast<std::size_t> (position % lines.size())];
        ++position;
        if (! writer->write (line, stopRequested))
            break;
        ++sent;
        readerSeen = readerSeen || writer->readerPresent();

        // Deadlines, not pauses: the rate does not drift with the time the writes take.
        const auto step = options.full ? byteTime * static_cast<double> (line.size()) : boardTime;
        deadline += std::chrono::duration_cast<Clock::duration> (step);
        sleepUntil (deadline);
    }

    // A terminal this program made vanishes when it ends: keep it until its reader is done with it.
    if (options.pty && ! stopRequested && options.count != 0 && sent == options.count)
    {
        while (! stopRequested)
        {
            const bool present = writer->readerPresent();
            if (readerSeen && ! present)
                break;
            readerSeen = readerSeen || present;
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }
    }

    std::cerr << "sent " << sent << " boards" << std::endl;
    return 0;
}
