// vur-opc-sim: the stand-in for the OPC console program that the monitor starts beside itself.
//
//     vur-opc-sim "<full path of the monitor's configuration file>"
//
// The configuration file is the only argument. From it the console takes
//   - opc_output_filename: the file it keeps up to date (the monitor polls it);
//   - opc_url: where the values come from (below);
//   - opc_group: written in front of every register name in the output file ("[INFEED]N75:3");
//   - for every device (a key ending in "_device"; prefix = the key without it) the registers
//     <prefix>_opc_kiln_register, <prefix>_opc_run_register and <prefix>_opc_pkg_register
//     (N75:3, N75:4, N75:5 where missing; the same defaults when no device is configured yet).
//
// The output file:
//     1549450000
//     [INFEED]N75:3=7
//     [INFEED]N75:4=12
//     [INFEED]N75:5=3
// The first line is a sequence number; it starts at the wall clock's seconds (and never at the number of a
// file left behind by an earlier run) and goes up by one with every write. Then one line per distinct
// register of all devices, key "[group]register" (just "register" when opc_group is empty), "=", a
// decimal value from 1 to 2147483647. Every write replaces the whole file in one step, so a reader never
// meets half a file. The file is written at start, whenever a value changes, and again when someone
// deletes it; each write prints one line, "seq=... kiln=... run=... pkg=...", to the console.
//
// opc_url:
//   sim:?pkg_seconds=60&pkgs_per_run=10&kiln=1&run=1&pkg=1
//       A simulated plant for demonstrations and soak tests. The package number goes up every pkg_seconds
//       seconds (0.001 to 1000000000, fractions allowed); after pkgs_per_run packages the run number goes
//       up and the package starts again at 1 (pkgs_per_run=0: the run never changes). kiln, run and pkg are the
//       numbers to start from; where the URL leaves them out, the simulation continues from the first
//       device's saved <prefix>_last_kiln, _last_run and _last_pkg, or from 1. Every part is optional:
//       plain "sim:" means a package a minute and ten packages a run. Kiln registers get the kiln number,
//       run registers the run number, package registers the package number.
//   file:///abs/path/relay.txt   (also file:/abs/path, file://localhost/abs/path, file:relative/path,
//                                 file:///C:/dir/relay.txt on Windows; %20 and other %XX escapes allowed)
//       A relay: a plant gateway or a test writes the register values into a plain text file, one
//       "register=value" line each (N75:3=7); blank lines, lines starting with "#", lines without "=" and
//       values that are not whole numbers from 1 to 2147483647 are ignored. The file is read every 250 ms;
//       whenever the values of the configured registers change, the output file is written with a new
//       sequence number. Registers the relay does not mention are left out of the output; while the relay
//       file is missing (or names none of the registers) nothing is written. A writer of the relay file
//       should replace it in one step too.
//   anything else (the monitor's default opcda:// address among them)
//       cannot be served here: the console writes one line saying so and exits with status 1, and the
//       monitor reports "OPC Console has failed.".
//
// Exit status: 0 when terminated (SIGTERM, SIGINT, SIGHUP on POSIX; TerminateProcess(..., 0) on Windows);
// 1 when it cannot start serving (wrong arguments, unreadable configuration, no opc_output_filename, an
// opc_url it cannot serve). A failed write is reported on the console and tried again; it does not end
// the program, since the monitor never restarts it.

#include "tools/opc-console/console_config.h"
#include "tools/opc-console/output_file.h"
#include "tools/opc-console/plant_source.h"

#include "src-base/platform/atomic_file.h"
#include "src-base/platform/os_conventions.h"
#include "src-base/platform/quit_request.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace
{
void say (const std::string& line)
{
    std::fprintf (stdout, "%s\n", line.c_str());
    std::fflush (stdout);
}

int fail (const std::string& reason)
{
    std::fprintf (stderr, "OPC console: %s\n", reason.c_str());
    std::fflush (stderr);
    return 1;
}

// Set when the operating system asks the console to end; it wakes the main loop from its pause. Never
// destroyed: the thread that hands the request over may still be using it while the console exits.
struct QuitRequest
{
    std::mutex mutex;
    std::condition_variable signal;
    bool requested = false;
};

QuitRequest& quit_request()
{
    static QuitRequest* const request = new QuitRequest;
    return *request;
}

void request_quit()
{
    QuitRequest& q = quit_request();
    {
        const std::lock_guard<std::mutex> guard (q.mutex);
        q.requested = true;
    }
    q.signal.notify_all();
}

// Pauses until `until` or a quit request; true when the console is to end.
bool pause_until (Clock::time_point until)
{
    QuitRequest& q = quit_request();
    std::unique_lock<std::mutex> guard (q.mutex);
    return q.signal.wait_until (guard, until, [&q] { return q.requested; });
}

bool file_exists (const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists (path, ec);
}
} // namespace

int main (int argc, char** argv)
{
    Ziz::sys::installQuitRequestHandlers (request_quit);

    const std::vector<std::string> arguments = Ziz::sys::programArguments (argc, argv);
    if (arguments.size() != 1)
        return fail ("usage: vur-opc-sim \"<configuration file>\"");

    std::string error;
    const auto config = load_console_config (arguments[0], error);
    if (! config)
        return fail (error);

    const Clock::time_point start = Clock::now();
    const auto source = make_plant_source (*config, start, error);
    if (! source)
        return fail (error);

    std::string registers;
    for (const OpcRegister& r : config->registers)
        registers += (registers.empty() ? "" : ", ") + r.name + " (" + role_name (r.role) + ")";
    say ("OPC console: writing \"" + config->output_filename + "\" from the " + source->origin());
    say ("OPC console: registers " + registers);

    std::uint32_t sequence = first_sequence (static_cast<std::uint32_t> (std::time (nullptr)),
                                             existing_sequence (config->output_filename));
    std::optional<RegisterValues> written;
    bool failing = false;

    // One pass at least every 50 ms, so that a changed relay file or a deleted output file is noticed
    // quickly; sooner when the source expects a change. A quit request ends the pause at once.
    const auto longest_pause = std::chrono::milliseconds (50);
    for (bool quit = pause_until (Clock::now()); ! quit;)
    {
        const Clock::time_point now = Clock::now();
        const auto values = source->values (now);
        if (const std::string notice = source->take_notice(); ! notice.empty())
            say ("OPC console: " + notice);

        if (values && (! written || *values != *written || ! file_exists (config->output_filename)))
        {
            std::string reason;
            if (Ziz::sys::writeFileAtomically (config->output_filename,
                                               output_file_text (sequence, config->group, *values), &reason))
            {
                say ("seq=" + std::to_string (sequence) + " " + source->describe (*values));
                written = values;
                sequence = next_sequence (sequence);
                failing = false;
            }
            else if (! failing)
            {
                // Said once; the write is tried again at every pass until it succeeds.
                say ("OPC console: cannot write \"" + config->output_filename + "\" (trying again): " + reason);
                failing = true;
            }
        }

        const Clock::time_point soonest = now + std::chrono::milliseconds (1);
        quit = pause_until (std::min (now + longest_pause, std::max (source->next_change (now), soonest)));
    }
    say ("OPC console: terminated");
    return 0;
}
