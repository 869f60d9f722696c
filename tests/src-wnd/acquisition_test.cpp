// The reading thread of a device channel against pseudo-terminals standing in for meters: what a meter
// line becomes, what breaks the thread, how the loop paces itself and how it ends.

#include "app_fixture.h"
#include "pty_meter.h"
#include "src-wnd/core/record_import.h"
#include "src-wnd/core/sim_table.h"
#include "src-wnd/tabcanvas.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <thread>

namespace
{
using MeterPty = vurtest::PtyMeter;

std::string reading_line (double first, double average)
{
    char text[32];
    std::snprintf (text, sizeof (text), "%04.1f\t%04.1f\r\n", first, average);
    return text;
}

double cpu_seconds()
{
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    return static_cast<double> (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + static_cast<double> (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

using vurtest::count_of;

// The process's threads, by their kernel ids.
std::set<std::string> thread_ids()
{
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator ("/proc/self/task/"))
        ids.insert (entry.path().filename().string());
    return ids;
}

// How often the kernel has put these threads to sleep and woken them (their voluntary context switches).
long long wakes_of (const std::set<std::string>& ids)
{
    long long wakes = 0;
    for (const auto& id : ids)
    {
        std::smatch m;
        const std::string status = vurtest::readFile ("/proc/self/task/" + id + "/status");
        if (std::regex_search (status, m, std::regex ("voluntary_ctxt_switches:\\s+(\\d+)")))
            wakes += std::stoll (m.str (1));
    }
    return wakes;
}

class Acquisition : public vurtest::AppFixture
{
protected:
    // A channel on its own, without a main window; the settings override the test defaults of the device.
    std::unique_ptr<TabCanvas> start_channel (const std::string& prefix, const std::string& port,
                                              const std::map<std::string, std::string>& settings = {})
    {
        add_device (prefix, port);
        for (const auto& [key, value] : settings)
            app->cfg->set_str (prefix + key, value);
        // Pseudo-terminal names come back: what an earlier channel logged must not count for this one.
        channel_log_start = log_text().size();
        return std::make_unique<TabCanvas> (prefix);
    }

    // Until the port is open and configured.
    bool wait_until_configured (const std::string& port)
    {
        return wait_for_log ("device=" + port + " Baud=");
    }

    // What the newest channel's life has logged so far.
    std::string channel_log() const { return log_text().substr (channel_log_start); }

    bool wait_for_log (const std::string& part, std::size_t count = 1, int timeout_ms = 10000)
    {
        return pump_until ([&] { return count_of (channel_log(), part) >= count; }, timeout_ms);
    }

    std::size_t channel_log_start = 0;

    static std::vector<double> values_of (TabCanvas& canvas)
    {
        return canvas.figures (BoardValues::included).run_values;
    }

    static std::size_t board_count (TabCanvas& canvas)
    {
        return canvas.figures().run_count;
    }

    static bool wait_for_boards (TabCanvas& canvas, std::size_t count, int timeout_ms = 10000)
    {
        return pump_until ([&] { return board_count (canvas) >= count; }, timeout_ms);
    }

    static bool wait_for_thread_end (TabCanvas& canvas)
    {
        return pump_until ([&] { return ! canvas.isThreadRunning(); });
    }
};

TEST_F (Acquisition, MeterLinesBecomeBoardValuesInTheirBins)
{
    struct Case
    {
        const char* text;
        std::vector<double> values;  // boards added
        int bin;                     // of the single board, -1 for none
        const char* logged;          // what follows the port name in the log, empty for nothing
    };
    const Case cases[] = {
        { "14.8\t14.2\r\n", { 14.2 }, 6, "" },
        { "14.2\t00.0\r\n", { 14.2 }, 6, ": invalid average value from sensor: str=14.2\t00.0" },
        { "00.0\t00.0\r\n", {}, -1, ": invalid average value from sensor: str=00.0\t00.0" },
        { "25.1\t24.0\r\n", { 24.0 }, 16, "" },
        { "31.0\t99.9\r\n", { 99.9 }, 16, "" },
        { "24.5\t23.9\r\n", { 23.9 }, 15, "" },
        { "10.0\t09.0\r\n", { 9.0 }, 1, "" },
        { "09.5\t08.9\r\n", { 8.9 }, 0, "" },
        { "02.0\t00.5\r\n", { 2.0 }, 0, ": invalid average value from sensor: str=02.0\t00.5" },
    };
    const double follower = 11.5;  // bin 3, which no case uses
    const int follower_bin = 3;

    int index = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        MeterPty meter;
        ASSERT_FALSE (meter.path.empty());
        // Each case keeps its record files apart, so that no case imports another's boards.
        auto canvas = start_channel ("m", meter.path,
                                     { { "_output_directory", records_dir + "/case" + std::to_string (index++) + "/%Y/" } });
        ASSERT_TRUE (wait_until_configured (meter.path));

        // The reading that follows shows that the case's line has been dealt with. A logged line shows the
        // text that was waiting: the follower comes after it, or it would be part of it.
        meter.send (c.text);
        if (*c.logged != '\0')
        {
            ASSERT_TRUE (wait_for_log (meter.path + c.logged));
        }
        // Readings are taken in the order they came, so once the follower is counted nothing of the case's
        // line is still to come: a board too many would already stand before it.
        meter.send (reading_line (12.0, follower));
        ASSERT_TRUE (wait_for_boards (*canvas, c.values.size() + 1));

        auto expected = c.values;
        expected.push_back (follower);
        {
            const ChannelFigures now = canvas->figures (BoardValues::included);
            EXPECT_EQ (now.run_values, expected);
            EXPECT_EQ (now.pkg_values, expected);
            TabCanvas::Histogram histogram {};
            if (c.bin >= 0)
                histogram[static_cast<std::size_t> (c.bin)] = 1;
            histogram[follower_bin] = 1;
            EXPECT_EQ (now.run_histogram, histogram);
            EXPECT_EQ (now.pkg_histogram, histogram);
        }

        const std::string logged = channel_log();
        if (*c.logged != '\0')
            EXPECT_NE (logged.find (meter.path + c.logged + "\n"), std::string::npos) << logged;
        else
            EXPECT_EQ (logged.find ("invalid average"), std::string::npos) << logged;
        canvas.reset();
        app->device_prefixes.clear();
    }
}

TEST_F (Acquisition, AGarbledReadingIsLoggedAndSkippedAndTheDeviceIsStillRead)
{
    // A meter with a bad contact sends dots or doubled points where digits belong.
    int index = 0;
    for (const char* text : { "....\t14.2\r\n", "14.8\t....\r\n", "1..2\t14.2\r\n" })
    {
        SCOPED_TRACE (text);
        MeterPty meter;
        auto canvas = start_channel ("m", meter.path,
                                     { { "_output_directory", records_dir + "/garbled" + std::to_string (index++) + "/%Y/" } });
        ASSERT_TRUE (wait_until_configured (meter.path));
        meter.send (text);
        meter.send ("14.8\t15.2\r\n");
        ASSERT_TRUE (wait_for_boards (*canvas, 1)) << channel_log();
        EXPECT_EQ (values_of (*canvas), std::vector<double> { 15.2 });

        const std::string garbled = std::string (text).substr (0, 9);
        EXPECT_EQ (count_of (channel_log(), meter.path + ": unreadable value from sensor: str=" + garbled + "\n"), 1u) << channel_log();
        EXPECT_TRUE (canvas->isThreadRunning());
        EXPECT_EQ (channel_log().find ("TabCanvas::run"), std::string::npos);

        canvas.reset();
        EXPECT_NE (channel_log().find ("is exiting"), std::string::npos);
        app->device_prefixes.clear();
    }
}

// A meter that sends faster than the loop's interval loses nothing, and the package file is still written
// at the hundredth and the two hundredth board when a burst carries the count past them.
TEST_F (Acquisition, APassTakesEverythingThePortHoldsWithTheShippedReadLength)
{
    // Forty boards wait in the port when the channel starts; with an 11-byte buffer a single read takes
    // one. The next pass is a minute away: only a pass that drains the port counts them all now.
    MeterPty meter;
    std::string lines;
    std::vector<double> sent;
    for (int i = 0; i < 40; ++i)
    {
        sent.push_back (10.0 + i % 10);
        lines += reading_line (sent.back() + 0.5, sent.back());
    }
    meter.send (lines);
    auto canvas = start_channel ("a", meter.path, { { "_read_len", "11" }, { "_interval_ms", "60000" } });
    ASSERT_TRUE (wait_for_boards (*canvas, 40)) << board_count (*canvas);
    EXPECT_EQ (values_of (*canvas), sent);
}

TEST_F (Acquisition, TheLinesOfOneBurstAreAllCountedInOnePass)
{
    // The burst waits in the port when the channel starts, and the next pass is a minute away: whatever the
    // load, every board counted within the wait was counted by the first pass, in order.
    MeterPty meter;
    std::vector<double> sent;
    std::string text;
    for (int i = 0; i < 5; ++i)
    {
        sent.push_back (9.0 + 1.5 * i);
        text += reading_line (sent.back() + 0.6, sent.back());
    }
    meter.send (text);
    auto canvas = start_channel ("a", meter.path, { { "_read_len", "256" }, { "_interval_ms", "60000" } });
    ASSERT_TRUE (wait_for_boards (*canvas, 5)) << board_count (*canvas);
    EXPECT_EQ (values_of (*canvas), sent);
}

TEST_F (Acquisition, BurstsAreTakenWholeAndThePackageFileIsWrittenAtEveryHundredthBoard)
{
    MeterPty meter;
    auto canvas = start_channel ("a", meter.path, { { "_read_len", "256" }, { "_interval_ms", "200" } });
    ASSERT_TRUE (wait_until_configured (meter.path));

    std::vector<double> sent;
    auto send_boards = [&] (std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i)
        {
            const double value = static_cast<double> (90 + (sent.size() * 7) % 150) / 10.0;
            sent.push_back (value);
            text += reading_line (value + 0.6, value);
        }
        meter.send (text);
        return sent.size();
    };

    send_boards (5);
    ASSERT_TRUE (wait_for_boards (*canvas, 5)) << board_count (*canvas);
    EXPECT_EQ (values_of (*canvas), sent);

    auto package_file_values = [&] (std::size_t boards) {
        const std::string logged = log_text();
        const std::regex line ("prefix=a: writing " + std::to_string (boards) + " boards to (.+) \\(k=1, r=001, p=001,");
        std::smatch written;
        if (! std::regex_search (logged, written, line))
            return std::vector<double> {};
        const std::string path = written.str (1);
        const std::string text = vurtest::readFile (path);
        EXPECT_EQ (text.rfind (std::string (boards < 1000 ? "0" : "") + std::to_string (boards) + ",", 0), 0u) << text.substr (0, 60);
        return parse_record_values (read_record_values_line (path));
    };

    send_boards (90);
    ASSERT_TRUE (wait_for_boards (*canvas, 95));
    EXPECT_EQ (count_of (log_text(), ": writing "), 0u);
    send_boards (10);
    ASSERT_TRUE (wait_for_boards (*canvas, 105));
    ASSERT_TRUE (wait_for_log ("prefix=a: writing 100 boards to"));
    EXPECT_EQ (package_file_values (100), std::vector<double> (sent.begin(), sent.begin() + 100));

    send_boards (90);
    ASSERT_TRUE (wait_for_boards (*canvas, 195));
    send_boards (10);
    ASSERT_TRUE (wait_for_boards (*canvas, 205));
    ASSERT_TRUE (wait_for_log ("prefix=a: writing 200 boards to"));
    EXPECT_EQ (package_file_values (200), std::vector<double> (sent.begin(), sent.begin() + 200));

    const std::string logged = log_text();
    EXPECT_EQ (count_of (logged, "prefix=a: writing 100 boards to"), 1u);
    EXPECT_EQ (count_of (logged, "prefix=a: writing 200 boards to"), 1u);
    EXPECT_EQ (count_of (logged, ": writing "), 2u);
    EXPECT_EQ (values_of (*canvas), sent);
}

TEST_F (Acquisition, TextWithoutReadingsIsPurgedWithAPrintableCopy)
{
    MeterPty meter;
    auto canvas = start_channel ("a", meter.path, { { "_interval_ms", "30" } });
    ASSERT_TRUE (wait_until_configured (meter.path));

    // Eleven reads of eleven bytes: 121 bytes, past the limit of ten read buffers.
    const std::string unit = std::string ("junk\t\x80\x7f\xff") + "A\r\n";
    ASSERT_EQ (unit.size(), 11u);
    std::string garbage, printable;
    for (int i = 0; i < 11; ++i)
    {
        garbage += unit;
        printable += "junk<9><-128><127><-1>A<13><10>";
    }
    meter.send (garbage);
    ASSERT_TRUE (wait_for_log (": purging long/invalid string"));
    EXPECT_NE (log_text().find (meter.path + ": purging long/invalid string: len=121: \"" + printable + "\"\n"), std::string::npos)
        << log_text();

    // Nothing of the purged text is left to spoil the next reading.
    meter.send ("14.8\t14.2\r\n");
    ASSERT_TRUE (wait_for_boards (*canvas, 1));
    EXPECT_EQ (values_of (*canvas), std::vector<double> { 14.2 });
}

TEST_F (Acquisition, PassesThatEndLateLogATimeOverflow)
{
    {
        // With no interval at all every pass is late, by nothing.
        MeterPty meter;
        auto canvas = start_channel ("s", meter.path, { { "_interval_ms", "0" }, { "_run_simulation", "true" }, { "_output_directory", records_dir + "/s/" } });
        ASSERT_TRUE (wait_for_log (meter.path + ": warning: time overflow by 0 milliseconds\n", 3));
        canvas->signalThreadShouldExit();
        ASSERT_TRUE (canvas->waitForThreadToExit (10000));
        const auto overflows = count_of (channel_log(), meter.path + ": warning: time overflow by ");
        const auto boards = board_count (*canvas);   // every simulated row is a board
        // Every pass ends with its overflow line, and counts its row unless the exit came between its read
        // and its count: then the last pass has a line and no board.
        EXPECT_GE (overflows + 1, boards);
        EXPECT_LE (overflows, boards + 1);
        canvas.reset();
        app->device_prefixes.clear();
    }
    {
        // An idle read of five bytes takes 60 ms, 40 ms longer than the pass.
        MeterPty meter;
        auto canvas = start_channel ("t", meter.path, { { "_interval_ms", "20" }, { "_read_len", "5" }, { "_output_directory", records_dir + "/t/" } });
        ASSERT_TRUE (wait_for_log (meter.path + ": warning: time overflow by ", 3));
        canvas.reset();
        const std::string logged = channel_log();
        const std::regex line (meter.path + ": warning: time overflow by (\\d+) milliseconds\n");
        int seen = 0;
        for (auto it = std::sregex_iterator (logged.begin(), logged.end(), line); it != std::sregex_iterator(); ++it, ++seen)
            EXPECT_GE (std::stoi ((*it)[1].str()), 40);
        EXPECT_GE (seen, 3) << logged;
    }
}

TEST_F (Acquisition, APortThatCannotBeOpenedOrSetUpEndsTheThreadBeforeAnyBoard)
{
    MeterPty meter;
    const std::string missing = "/dev/vur-no-such-port";
    const std::string good_settings = "baud=9600 parity=N data=8 stop=1";
    const std::string bad_settings = good_settings + " speed=fast";
    struct Case
    {
        std::string port;
        std::string comm_str;
        bool simulation;
        std::string error;
        const char* source;
    };
    const Case cases[] = {
        { missing, good_settings, false, "failed to open serial communication device " + missing, "serialcommwin32, #22" },
        { missing, good_settings, true, "failed to open serial communication device " + missing, "serialcommwin32, #22" },
        { meter.path, bad_settings, false, "failed to build DCB with \"" + bad_settings + "\"", "serialcommwin32, #35" },
        { meter.path, bad_settings, true, "failed to build DCB with \"" + bad_settings + "\"", "serialcommwin32, #35" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.error + (c.simulation ? " (simulated)" : ""));
        auto canvas = start_channel ("e", c.port, { { "_run_simulation", c.simulation ? "true" : "false" }, { "_comm_str", c.comm_str } });
        // With the thread over, no reading sent now can become a board.
        ASSERT_TRUE (wait_for_thread_end (*canvas));
        meter.send ("14.8\t14.2\r\n");
        {
            const ChannelFigures now = canvas->figures();
            EXPECT_EQ (now.error_messages, std::vector<std::string> { c.error });
            EXPECT_EQ (now.run_count, 0u);
        }
        const std::string logged = channel_log();
        for (const std::string& part : { c.error, std::string ("TabCanvas::open_serial_device"), std::string (c.source) })
            EXPECT_NE (logged.find (part), std::string::npos) << part;
        canvas.reset();
        app->device_prefixes.clear();
    }
}

TEST_F (Acquisition, AHungUpMeterKeepsThePaceWithoutSpinning)
{
    // A read of the dead line waits out its time-out (120 ms), far inside the pass, so that a pass that ends
    // late means the read overran, not that a loaded machine was slow to wake the thread.
    MeterPty meter;
    auto canvas = start_channel ("a", meter.path, { { "_interval_ms", "1000" } });
    ASSERT_TRUE (wait_until_configured (meter.path));
    meter.send ("14.8\t14.2\r\n");
    ASSERT_TRUE (wait_for_boards (*canvas, 1));

    meter.hang_up();
    const std::size_t before = log_text().size();
    const double cpu_before = cpu_seconds();
    // The watched span itself: a spinning loop shows in the time used, however long the machine takes.
    std::this_thread::sleep_for (std::chrono::seconds (3));
    const double cpu_used = cpu_seconds() - cpu_before;
    // A loop that spins on the dead line burns a whole core; three passes of a paced one cost next to nothing.
    EXPECT_LT (cpu_used, 0.5);

    EXPECT_TRUE (canvas->isThreadRunning());
    canvas.reset();
    // The shutdown notice comes after every pass the thread made: all of them are in the log before it.
    const std::string logged = log_text().substr (before);
    const auto shutdown = logged.find ("prefix=a: detected shutdown signal\n");
    ASSERT_NE (shutdown, std::string::npos) << logged;
    EXPECT_EQ (logged.substr (0, shutdown).find ("time overflow"), std::string::npos) << logged;
    EXPECT_NE (logged.find ("prefix=a: device thread for \"Test meter\" on " + meter.path + " is exiting"), std::string::npos);
}

TEST_F (Acquisition, ASilentMeterLeavesTheThreadAsleepUntilItSendsOrTheThreadIsToldToExit)
{
    // Passes of the shipped length: a thread that looked at the silent port once a pass would wake twice a pass.
    {
        MeterPty meter;
        // The channel's own thread is the one its start adds that has no name of its own: the name is too
        // long to reach the kernel, where the framework's threads keep theirs. A thread started and ended first
        // brings up any helper that a sanitizer starts with the first new thread, so that it is not counted.
        std::thread ([] {}).join();
        const auto threads_before = thread_ids();
        auto canvas = start_channel ("a", meter.path, { { "_interval_ms", "250" }, { "_output_directory", records_dir + "/quiet/" } });
        ASSERT_TRUE (wait_until_configured (meter.path));
        std::set<std::string> reading_thread;
        for (const auto& id : thread_ids())
            if (threads_before.count (id) == 0 && vurtest::readFile ("/proc/self/task/" + id + "/comm") == vurtest::readFile ("/proc/self/comm"))
                reading_thread.insert (id);
        ASSERT_EQ (reading_thread.size(), 1u);
        meter.send ("14.8\t14.2\r\n");
        ASSERT_TRUE (wait_for_boards (*canvas, 1));
        std::this_thread::sleep_for (std::chrono::milliseconds (500));   // the pass of that board is over

        const long long before = wakes_of (reading_thread);
        std::this_thread::sleep_for (std::chrono::seconds (2));
        EXPECT_LE (wakes_of (reading_thread) - before, 2);

        // The word to exit alone, with no notice, wakes it from the port.
        canvas->signalThreadShouldExit();
        const bool ended = canvas->waitForThreadToExit (10000);
        if (! ended)
            meter.hang_up();   // lets the thread go, so that the failure is reported and not a hang
        EXPECT_TRUE (ended);
        EXPECT_NE (channel_log().find ("prefix=a: device thread for \"Test meter\" on " + meter.path + " is exiting"), std::string::npos);
        canvas.reset();
        app->device_prefixes.clear();
    }
    {
        // A minute-long pass: a reading that came after the pass's read would wait for the next pass.
        MeterPty meter;
        auto canvas = start_channel ("b", meter.path, { { "_interval_ms", "60000" }, { "_output_directory", records_dir + "/late/" } });
        ASSERT_TRUE (wait_until_configured (meter.path));
        std::this_thread::sleep_for (std::chrono::milliseconds (500));
        meter.send ("14.8\t14.2\r\n");
        EXPECT_TRUE (wait_for_boards (*canvas, 1, 20000));
        EXPECT_EQ (channel_log().find ("time overflow"), std::string::npos) << channel_log();
    }
}

TEST_F (Acquisition, TheStartListsTheSettingsAndEveryKeyThatBeginsWithThePrefix)
{
    MeterPty meter;
    auto canvas = start_channel ("a", meter.path);
    ASSERT_TRUE (wait_until_configured (meter.path));
    const std::string logged = log_text();
    const std::string& port = meter.path;
    const std::string lines[] = {
        port + ": device thread for " + port + " has started (name=\"Test meter\", prefix=\"a\")\n",
        port + ": a_device=\"" + port + "\"\n",
        port + ": a_interval_ms=\"50\"\n",
        port + ": allow_user_to_close=\"TRUE\"\n",
        port + ": created a read buffer capable of reading 11 bytes every 50 milliseconds\n",
        "device=" + port + ", str=baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off\n",
        "max time between read: 10 read multiplier of chars: 10 read constant in millisecs: 10 write multiplier of chars: 10 write constant in millisecs: 10\n",
        "device=" + port + " Baud=9600 ",
    };
    std::size_t at = 0;
    for (const auto& line : lines)
    {
        const auto found = logged.find (line);
        EXPECT_NE (found, std::string::npos) << line;
        if (line.find ("a_") == std::string::npos && line.find ("allow_") == std::string::npos && found != std::string::npos)
        {
            EXPECT_GT (found, at) << line;
            at = found;
        }
    }
    EXPECT_EQ (logged.find (port + ": opc_url="), std::string::npos);
}

TEST_F (Acquisition, DestructionEndsTheThreadWithinOneIntervalAndWritesTheRecordFiles)
{
    // The reading waits in the port for the first pass; the next one is a minute away, so that an end that
    // waited for it stands out from any slowness of a loaded machine.
    MeterPty meter;
    meter.send ("14.8\t14.2\r\n");
    auto canvas = start_channel ("a", meter.path, { { "_interval_ms", "60000" } });
    ASSERT_TRUE (wait_for_boards (*canvas, 1));

    const std::string before = log_text();
    const auto started = std::chrono::steady_clock::now();
    canvas.reset();
    EXPECT_LT (std::chrono::steady_clock::now() - started, std::chrono::seconds (30));

    const std::string logged = log_text().substr (before.size());
    const std::string ordered[] = {
        "prefix=a: detected shutdown signal\n",
        "prefix=a: writing 1 boards to ",
        "prefix=a: writing summary data to ",
        "prefix=a: device thread for \"Test meter\" on " + meter.path + " is exiting\n",
        "finished destructor for inactive TabCanvas object with prefix=a\n",
    };
    std::size_t at = 0;
    for (const auto& line : ordered)
    {
        const auto found = logged.find (line, at);
        ASSERT_NE (found, std::string::npos) << line << "\n" << logged;
        at = found + line.size();
    }

    std::smatch m;
    ASSERT_TRUE (std::regex_search (logged, m, std::regex ("writing 1 boards to (.+) \\(k=")));
    EXPECT_EQ (parse_record_values (read_record_values_line (m.str (1))), std::vector<double> { 14.2 });
    ASSERT_TRUE (std::regex_search (logged, m, std::regex ("writing summary data to (.+) \\(run size=1,")));
    EXPECT_EQ (vurtest::readFile (m.str (1)).rfind ("1,", 0), 0u);
}

TEST_F (Acquisition, SimulatedChannelsStartAtIndependentRows)
{
    MeterPty meter_a, meter_b;
    auto a = start_channel ("a", meter_a.path, { { "_run_simulation", "true" } });
    const auto both_started = channel_log_start;
    auto b = start_channel ("b", meter_b.path, { { "_run_simulation", "true" } });
    channel_log_start = both_started;
    ASSERT_TRUE (wait_for_log ("random index=", 2));
    ASSERT_TRUE (wait_for_boards (*a, 3));
    ASSERT_TRUE (wait_for_boards (*b, 3));

    std::vector<std::uint64_t> starts;
    const std::string logged = channel_log();
    const std::regex line ("random index=(\\d+)\n");
    for (auto it = std::sregex_iterator (logged.begin(), logged.end(), line); it != std::sregex_iterator(); ++it)
        starts.push_back (std::stoull ((*it)[1].str()));
    ASSERT_EQ (starts.size(), 2u);
    EXPECT_NE (starts[0] % simulation_table_rows, starts[1] % simulation_table_rows);

    // Each channel replays the table in order from its own start.
    auto board_of_row = [] (std::uint64_t position) {
        const std::string& row = simulation_row (position);
        const double average = std::stod (row.substr (5, 4));
        return average < 1.0 ? std::stod (row.substr (0, 4)) : average;
    };
    auto replayed_from = [&] (TabCanvas& canvas) {
        const auto values = values_of (canvas);
        std::set<std::uint64_t> matches;
        for (const auto start : starts)
            if (board_of_row (start) == values[0] && board_of_row (start + 1) == values[1] && board_of_row (start + 2) == values[2])
                matches.insert (start);
        return matches;
    };
    const auto from_a = replayed_from (*a);
    const auto from_b = replayed_from (*b);
    ASSERT_FALSE (from_a.empty());
    ASSERT_FALSE (from_b.empty());
    EXPECT_TRUE (from_a.size() == 2 || from_a != from_b);
}

// A poll that fails in the timer is reported, and the timer goes on polling.
TEST_F (Acquisition, TheTimerRunsOnAfterAFailedPoll)
{
    const std::string opc_file = tmp_dir + "/opc_output.txt";
    app->cfg->set_str ("opc_output_filename", opc_file);
    MeterPty meter;
    auto canvas = start_channel ("a", meter.path);
    ASSERT_TRUE (wait_for_log ("prefix=a: failed to load the OPC output file"));

    const std::string before = log_text();
    vurtest::writeFile (opc_file, "not a sequence number\n");
    ASSERT_TRUE (pump_until ([&] { return log_text().find ("invalid stoul argument", before.size()) != std::string::npos; }));

    vurtest::writeFile (opc_file, "7\nN75:3=2\nN75:4=3\nN75:5=4\n");
    EXPECT_TRUE (wait_for_log ("prefix=a: detected OPC Console output file " + opc_file + " has a sequence number of \"7\""));
    EXPECT_TRUE (pump_until ([&] { 
        const ChannelFigures now = canvas->figures();
        return now.current_kiln == 2 && now.current_run == 3 && now.current_pkg == 4;
    }));
}
} // namespace
