// The OPC console stand-in, run as the real program: what the monitor relies on is that the output file is
// there while it runs, always whole, with a new sequence number for new values, that an address it cannot
// serve ends it at once with a non-zero status, and that terminating it ends it with status 0.

#include "src-base/platform/child_process.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace
{
using namespace std::chrono_literals;
namespace fs = std::filesystem;

#ifdef _WIN32
const std::string console_binary = VUR_BINARY_DIR "/bin/vur-opc-sim.exe";
#else
const std::string console_binary = VUR_BINARY_DIR "/bin/vur-opc-sim";
#endif

// One run of the console with its standard output and error going to a log file.
class ConsoleRun
{
public:
    ConsoleRun (const std::string& config_path, const std::string& log) : log_path (log)
    {
#ifdef _WIN32
        SECURITY_ATTRIBUTES inherit { sizeof (SECURITY_ATTRIBUTES), nullptr, TRUE };
        HANDLE out = CreateFileA (log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOA startup {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = out;
        std::string command = "\"" + console_binary + "\" \"" + config_path + "\"";
        PROCESS_INFORMATION info {};
        if (CreateProcessA (nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &info))
        {
            CloseHandle (info.hThread);
            process = info.hProcess;
        }
        CloseHandle (out);
#else
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init (&actions);
        posix_spawn_file_actions_addopen (&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2 (&actions, 1, 2);
        std::vector<char*> argv { const_cast<char*> (console_binary.c_str()), const_cast<char*> (config_path.c_str()),
                                  nullptr };
        if (posix_spawn (&pid, console_binary.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy (&actions);
#endif
    }

    ~ConsoleRun()
    {
        if (! exit_code && started())
        {
            terminate();
            wait_for_exit (5s);
        }
#ifdef _WIN32
        if (process != nullptr)
            CloseHandle (process);
#endif
    }

    ConsoleRun (const ConsoleRun&) = delete;
    ConsoleRun& operator= (const ConsoleRun&) = delete;

#ifdef _WIN32
    bool started() const { return process != nullptr; }
    void terminate() { TerminateProcess (process, 0); }
#else
    bool started() const { return pid > 0; }
    void terminate() { send (SIGTERM); }
    void send (int signal_number) { ::kill (pid, signal_number); }
#endif

    // The exit status (on POSIX 128 + the signal's number for a process that a signal ended), or nothing
    // while the process still runs after `limit`.
    std::optional<int> wait_for_exit (std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (! exit_code)
        {
#ifdef _WIN32
            if (WaitForSingleObject (process, 10) == WAIT_OBJECT_0)
            {
                DWORD code = 0;
                GetExitCodeProcess (process, &code);
                exit_code = static_cast<int> (code);
            }
#else
            int status = 0;
            if (waitpid (pid, &status, WNOHANG) == pid)
                exit_code = WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
            else
                std::this_thread::sleep_for (10ms);
#endif
            if (! exit_code && std::chrono::steady_clock::now() > deadline)
                break;
        }
        return exit_code;
    }

    std::string output() const { return vurtest::readTextFile (log_path); }

private:
    std::string log_path;
    std::optional<int> exit_code;
#ifdef _WIN32
    HANDLE process = nullptr;
#else
    pid_t pid = -1;
#endif
};

bool wait_until (const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (! condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for (5ms);
    }
    return true;
}

std::string xml_attribute (const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        switch (c)
        {
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

// A configuration file as the monitor's store writes it.
std::string write_config (const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES>\r\n";
    for (const auto& [key, value] : entries)
        text += "  <VALUE name=\"" + xml_attribute (key) + "\" val=\"" + xml_attribute (value) + "\"/>\r\n";
    text += "</PROPERTIES>\r\n";
    vurtest::writeFile (path, text);
    return path;
}

// Replaces a file in one step, as a gateway writing the relay file should.
void replace_file (const std::string& path, const std::string& content)
{
    vurtest::writeFile (path + ".new", content);
    fs::rename (path + ".new", path);
}

struct Snapshot
{
    unsigned long sequence = 0;
    std::map<std::string, long> values;   // key -> value
};

// The output file as the monitor needs it: whole (ending in a line break), a sequence line of digits, then
// only key=value lines with positive decimal values. Nothing for a missing or malformed file.
std::optional<Snapshot> parse_output (const std::string& text)
{
    if (text.empty() || text.back() != '\n')
        return std::nullopt;
    Snapshot snapshot;
    std::size_t start = 0;
    bool first = true;
    while (start < text.size())
    {
        const std::size_t end = text.find ('\n', start);
        const std::string line = text.substr (start, end - start);
        start = end + 1;
        if (first)
        {
            if (line.empty() || line.find_first_not_of ("0123456789") != std::string::npos)
                return std::nullopt;
            snapshot.sequence = std::stoul (line);
            first = false;
            continue;
        }
        const std::size_t equals = line.find ('=');
        if (equals == std::string::npos || equals + 1 == line.size()
            || line.find_first_not_of ("0123456789", equals + 1) != std::string::npos)
            return std::nullopt;
        const long value = std::stol (line.substr (equals + 1));
        if (value <= 0 || ! snapshot.values.emplace (line.substr (0, equals), value).second)
            return std::nullopt;
    }
    return snapshot;
}

std::optional<Snapshot> read_output (const std::string& path) { return parse_output (vurtest::readFile (path)); }

class OpcConsoleTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (fs::exists (console_binary)) << console_binary;
        dir = vurtest::makeTempDir ("opc console");
        output = dir + "/out & more/vad_odu_durodo.txt";
        fs::create_directories (dir + "/out & more");
    }

    std::string dir;
    std::string output;
};

TEST_F (OpcConsoleTool, SimulatedPlantRaisesPackagesThenRuns)
{
    // Two devices: a shared kiln register written once, an empty register left out, keys in any case.
    const std::string config = write_config (dir + "/cfg.cfg", {
        { "a_device", "com4" },
        { "a_opc_run_register", "N7:4" },
        { "A_OPC_PKG_REGISTER", "N7:5" },
        { "b_device", "com5" },
        { "b_opc_kiln_register", "N75:3" },
        { "b_opc_run_register", "N9:1" },
        { "b_opc_pkg_register", "" },
        { "opc_group", "INFEED" },
        { "Opc_Output_Filename", output },
        { "opc_url", "sim:?pkg_seconds=0.15&pkgs_per_run=3&kiln=4&run=7&pkg=2" },
    });
    ConsoleRun console (config, dir + "/console.log");
    ASSERT_TRUE (console.started());

    // Position of (run, pkg) in the simulation's order, counted from run 7 package 2.
    const auto position = [] (long run, long pkg) { return (run - 7) * 3 + pkg - 2; };
    std::vector<Snapshot> seen;
    ASSERT_TRUE (wait_until ([&]
    {
        if (const auto s = read_output (output); s && (seen.empty() || s->sequence != seen.back().sequence))
            seen.push_back (*s);
        return ! seen.empty() && position (seen.back().values["[INFEED]N7:4"], seen.back().values["[INFEED]N7:5"]) >= 4;
    }, 10s));

    const std::set<std::string> keys { "[INFEED]N75:3", "[INFEED]N7:4", "[INFEED]N7:5", "[INFEED]N9:1" };
    EXPECT_EQ (seen.front().values["[INFEED]N7:4"], 7);
    EXPECT_EQ (seen.front().values["[INFEED]N7:5"], 2);
    for (std::size_t i = 0; i < seen.size(); ++i)
    {
        Snapshot& s = seen[i];
        std::set<std::string> found;
        for (const auto& entry : s.values)
            found.insert (entry.first);
        EXPECT_EQ (found, keys);
        EXPECT_EQ (s.values["[INFEED]N75:3"], 4);
        EXPECT_EQ (s.values["[INFEED]N9:1"], s.values["[INFEED]N7:4"]);
        EXPECT_GE (s.values["[INFEED]N7:5"], 1);
        EXPECT_LE (s.values["[INFEED]N7:5"], 3);
        if (i > 0)
        {
            // Every write has a new sequence number and a later package.
            const Snapshot& before = seen[i - 1];
            EXPECT_GT (s.sequence, before.sequence);
            EXPECT_GT (position (s.values["[INFEED]N7:4"], s.values["[INFEED]N7:5"]),
                       position (before.values.at ("[INFEED]N7:4"), before.values.at ("[INFEED]N7:5")));
        }
    }

    // One console line per write (printed just after the file is in place).
    const Snapshot& last = seen.back();
    const std::string line = "seq=" + std::to_string (last.sequence) + " kiln=4 run="
                             + std::to_string (last.values.at ("[INFEED]N7:4")) + " pkg="
                             + std::to_string (last.values.at ("[INFEED]N7:5")) + "\n";
    EXPECT_TRUE (wait_until ([&] { return console.output().find (line) != std::string::npos; })) << console.output();
}

TEST_F (OpcConsoleTool, SimulationStartsFromTheUrlOrTheSavedNumbers)
{
    struct Case
    {
        std::string url;
        std::vector<std::pair<std::string, std::string>> saved;
        long kiln, run, pkg;
    };
    const Case cases[] = {
        { "sim:", {}, 1, 1, 1 },
        { "sim:?pkg_seconds=3600", { { "a_last_kiln", "5" }, { "a_last_run", "12" }, { "a_last_pkg", "3" } }, 5, 12, 3 },
        { "sim:?run=40", { { "a_last_kiln", "5" }, { "a_last_run", "12" }, { "a_last_pkg", "0" } }, 5, 40, 1 },
    };
    int index = 0;
    for (const Case& c : cases)
    {
        std::vector<std::pair<std::string, std::string>> entries { { "a_device", "com4" }, { "opc_group", "" },
                                                                   { "opc_output_filename", output }, { "opc_url", c.url } };
        entries.insert (entries.end(), c.saved.begin(), c.saved.end());
        fs::remove (output);
        const std::string name = std::to_string (index++);
        ConsoleRun console (write_config (dir + "/cfg" + name + ".cfg", entries), dir + "/console" + name + ".log");
        std::optional<Snapshot> s;
        ASSERT_TRUE (wait_until ([&] { return (s = read_output (output)).has_value(); })) << c.url;
        // Without a register key the monitor's defaults apply, and an empty group leaves the keys bare.
        EXPECT_EQ (s->values, (std::map<std::string, long> { { "N75:3", c.kiln }, { "N75:4", c.run }, { "N75:5", c.pkg } }))
            << c.url;
    }
}

TEST_F (OpcConsoleTool, RelayFileValuesAreCopied)
{
    const std::string relay_dir = dir + "/gate way";
    fs::create_directories (relay_dir);
    // The console names the file as the URL spells it: with forward slashes, also after a drive letter.
    const std::string relay = (fs::path (relay_dir) / "relay.txt").generic_string();
    std::string url = (relay.front() == '/' ? "file://" : "file:///") + relay;
    url.replace (url.find (' '), 1, "%20");
    const std::string config = write_config (dir + "/cfg.cfg", {
        { "a_device", "com4" },
        { "opc_output_filename", output },
        { "opc_url", url },
        { "opc_group", "INFEED" },
    });
    ConsoleRun console (config, dir + "/console.log");

    // No relay yet: nothing is written.
    const std::string waiting = "waiting for the relay file \"" + relay + "\"";
    ASSERT_TRUE (wait_until ([&] { return console.output().find (waiting) != std::string::npos; })) << console.output();
    std::this_thread::sleep_for (400ms);
    EXPECT_FALSE (fs::exists (output));

    replace_file (relay, "N75:3=7\n  N75:4 = 12\n# N75:5=99\nN75:5=3\nN75:9=5\n\nnonsense\n");
    std::optional<Snapshot> first;
    ASSERT_TRUE (wait_until ([&] { return (first = read_output (output)).has_value(); }));
    EXPECT_EQ (first->values,
               (std::map<std::string, long> { { "[INFEED]N75:3", 7 }, { "[INFEED]N75:4", 12 }, { "[INFEED]N75:5", 3 } }));

    replace_file (relay, "N75:3=7\nN75:4=12\nN75:5=4\n");
    std::optional<Snapshot> second;
    ASSERT_TRUE (wait_until ([&] { second = read_output (output); return second && second->values["[INFEED]N75:5"] == 4; }));
    EXPECT_EQ (second->sequence, first->sequence + 1);

    // The same values again: no new write.
    replace_file (relay, "N75:5=4\nN75:4=12\nN75:3=7\n");
    std::this_thread::sleep_for (600ms);
    EXPECT_EQ (read_output (output)->sequence, second->sequence);

    // Values the monitor could not use are left out.
    replace_file (relay, "N75:3=7\nN75:4=abc\nN75:5=0\n");
    std::optional<Snapshot> third;
    ASSERT_TRUE (wait_until ([&] { third = read_output (output); return third && third->values.size() == 1; }));
    EXPECT_EQ (third->values, (std::map<std::string, long> { { "[INFEED]N75:3", 7 } }));

    // A deleted output file comes back with a new sequence number.
    fs::remove (output);
    std::optional<Snapshot> again;
    ASSERT_TRUE (wait_until ([&] { return (again = read_output (output)).has_value(); }));
    EXPECT_EQ (again->sequence, third->sequence + 1);
    EXPECT_EQ (again->values, third->values);
}

TEST_F (OpcConsoleTool, WhatCannotBeServedEndsItAtOnceWithAReason)
{
    struct Case
    {
        std::vector<std::pair<std::string, std::string>> entries;
        std::string expected;
    };
    const Case cases[] = {
        { { { "opc_url", "opcda://localhost/RSLinx OPC Server" }, { "opc_output_filename", output } },
          "cannot serve opc_url \"opcda://localhost/RSLinx OPC Server\"" },
        { { { "opc_output_filename", output } }, "holds no opc_url" },
        { { { "opc_url", "sim:" } }, "names no opc_output_filename" },
        { { { "opc_url", "sim:?pkg_seconds=0" }, { "opc_output_filename", output } }, "pkg_seconds must be" },
        { { { "opc_url", "sim:?speed=3" }, { "opc_output_filename", output } }, "unknown or invalid setting \"speed=3\"" },
        { { { "opc_url", "sim:?kiln=-2" }, { "opc_output_filename", output } }, "kiln must be a whole number" },
        { { { "opc_url", "file://gateway/share/relay.txt" }, { "opc_output_filename", output } },
          "must name a local file" },
    };
    int index = 0;
    for (const Case& c : cases)
    {
        const std::string name = std::to_string (index++);
        ConsoleRun console (write_config (dir + "/bad" + name + ".cfg", c.entries), dir + "/bad" + name + ".log");
        EXPECT_EQ (console.wait_for_exit (5s), std::optional<int> (1)) << c.expected;
        const std::string said = console.output();
        EXPECT_EQ (said.rfind ("OPC console: ", 0), 0u) << said;
        EXPECT_NE (said.find (c.expected), std::string::npos) << said;
    }

    ConsoleRun missing (dir + "/no such.cfg", dir + "/missing.log");
    EXPECT_EQ (missing.wait_for_exit (5s), std::optional<int> (1));
    EXPECT_NE (missing.output().find ("cannot read the configuration file \"" + dir + "/no such.cfg\""), std::string::npos);
    EXPECT_FALSE (fs::exists (output));
}

#ifndef _WIN32
TEST_F (OpcConsoleTool, TerminationEndsItWithStatusZero)
{
    const std::string config = write_config (dir + "/cfg.cfg", {
        { "opc_output_filename", output },
        { "opc_url", "sim:?pkg_seconds=0.05" },
    });
    for (int signal_number : { SIGTERM, SIGINT })
    {
        ConsoleRun console (config, dir + "/console.log");
        fs::remove (output);
        ASSERT_TRUE (wait_until ([&] { return read_output (output).has_value(); }));
        console.send (signal_number);
        EXPECT_EQ (console.wait_for_exit (2s), std::optional<int> (0)) << "signal " << signal_number;
    }
}
#endif

TEST_F (OpcConsoleTool, AReaderNeverSeesAPartlyWrittenFile)
{
    std::vector<std::pair<std::string, std::string>> entries { { "opc_output_filename", output },
                                                                { "opc_url", "sim:?pkg_seconds=0.001&pkgs_per_run=7" },
                                                                { "opc_group", "INFEED" } };
    for (const char* prefix : { "a", "b", "c" })
    {
        const std::string p (prefix);
        entries.insert (entries.end(), { { p + "_device", "com1" }, { p + "_opc_kiln_register", p + "K" },
                                         { p + "_opc_run_register", p + "R" }, { p + "_opc_pkg_register", p + "P" } });
    }
    ConsoleRun console (write_config (dir + "/cfg.cfg", entries), dir + "/console.log");
    ASSERT_TRUE (wait_until ([&] { return fs::exists (output); }));

    std::set<unsigned long> sequences;
    int torn = 0;
    int unopened = 0;
    // For 1.5 s, and on until the reader has met many writes: a loaded machine (Wine's writes are slow) gets
    // up to 10 s.
    const auto start = std::chrono::steady_clock::now();
    for (auto now = start; now < start + 1500ms || (sequences.size() <= 20 && now < start + 10s);
         now = std::chrono::steady_clock::now())
    {
        std::ifstream in (output, std::ios::binary);
        if (! in)
        {
            ++unopened;
            continue;
        }
        const auto s = parse_output (std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>()));
        if (! s || s->values.size() != 9)
            ++torn;
        else
            sequences.insert (s->sequence);
    }
    EXPECT_EQ (torn, 0);
#ifndef _WIN32
    // On Windows an open can fail while the file is being replaced (Wine even removes the old file just
    // before the new one takes its name); the monitor reads again at its next poll. A rename never does that.
    EXPECT_EQ (unopened, 0);
#endif
    // The reader has really raced the writer.
    EXPECT_GT (sequences.size(), 10u);
}

TEST_F (OpcConsoleTool, StartsFromTheMonitorsCommandLine)
{
    const std::string config_dir = dir + "/All Users/DuvidudUvereverOzure";
    fs::create_directories (config_dir);
    const std::string config = write_config (config_dir + "/DuvidudUvereverOzure.cfg", {
        { "opc_output_filename", output },
        { "opc_url", "sim:?pkg_seconds=3600" },
    });

    Ziz::sys::ChildProcess child;
    Ziz::sys::ChildProcess::Options options;
    options.workingDirectory = VUR_BINARY_DIR "/bin";
    ASSERT_TRUE (child.start (console_binary + " \"" + config + "\"", options)) << child.lastError();
    EXPECT_TRUE (wait_until ([&] { return read_output (output).has_value(); }));
    EXPECT_FALSE (child.hasEnded());
    child.kill();
    EXPECT_TRUE (child.hasEnded());
    EXPECT_EQ (child.waitForExit(), 0u);
}
} // namespace
