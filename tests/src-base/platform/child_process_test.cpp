#include "src-base/platform/child_process.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
    #include <fcntl.h>
    #include <pthread.h>
    #include <signal.h>
    #include <unistd.h>
    #include <cerrno>
#endif

namespace fs = std::filesystem;
using Ziz::sys::ChildProcess;

namespace
{
const std::string helper = VUR_TEST_CHILD;

std::string quoted (const std::string& text) { return "\"" + text + "\""; }

bool waitFor (const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds (10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (! condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }
    return true;
}

std::vector<std::string> readLines (const std::string& path)
{
    std::ifstream in (fs::u8path (path), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline (in, line);)
        lines.push_back (line);
    return lines;
}

TEST (ChildProcess, ArgumentsArriveAsTheWindowsQuotingRulesSay)
{
    const std::string dir = vurtest::makeTempDir ("child-args");
    const std::string report = dir + "/out file.txt";

    ChildProcess child;
    ASSERT_TRUE (child.start (quoted (helper) + " --report " + quoted (report)
                                  + R"( "two words" back\slash "quo\"te" "" tab"	"in --exit 7)",
                              {}))
        << child.lastError();
    EXPECT_EQ (child.lastError(), 0u);
    EXPECT_TRUE (child.isValid());
    EXPECT_NE (child.processId(), 0);
    EXPECT_EQ (child.waitForExit(), 7u);
    EXPECT_TRUE (child.hasEnded());

    const std::vector<std::string> expected { fs::current_path().string(), "--report", report, "two words",
                                              R"(back\slash)", R"(quo"te)", "", "tab\tin", "--exit", "7" };
    EXPECT_EQ (readLines (report), expected);
}

TEST (ChildProcess, RunsInTheGivenWorkingDirectory)
{
    const std::string dir = vurtest::makeTempDir ("child cwd");

    ChildProcess child;
    ChildProcess::Options options;
    options.workingDirectory = dir;
    ASSERT_TRUE (child.start (quoted (helper) + " --report report.txt", options)) << child.lastError();
    EXPECT_EQ (child.waitForExit(), 0u);

    const auto lines = readLines (dir + "/report.txt");
    ASSERT_FALSE (lines.empty());
    EXPECT_TRUE (fs::equivalent (lines.front(), dir)) << lines.front();
}

// A user folder such as C:\Users\Jörg holds the OPC console's files: its name reaches the child whole, in
// the command line and as its working directory.
TEST (ChildProcess, NamesOutsideAsciiReachTheChildWhole)
{
    const std::string dir = vurtest::makeTempDir ("child-names") + "/S\u00e4gewerk J\u00f6rg";
    fs::create_directories (fs::u8path (dir));
    const std::string report = dir + "/bericht \u00f6.txt";

    ChildProcess child;
    ChildProcess::Options options;
    options.workingDirectory = dir;
    ASSERT_TRUE (child.start (quoted (helper) + " --report " + quoted (report) + " \"Trockenkammer \u00e5\"", options))
        << child.lastError();
    EXPECT_EQ (child.waitForExit(), 0u);

    const auto lines = readLines (report);
    ASSERT_EQ (lines.size(), 4u) << "no report at " << report;
    EXPECT_TRUE (fs::equivalent (fs::u8path (lines[0]), fs::u8path (dir))) << lines[0];
    EXPECT_EQ (lines[2], report);
    EXPECT_EQ (lines[3], "Trockenkammer \u00e5");
}

TEST (ChildProcess, MissingProgramFailsWithErrorTwo)
{
    ChildProcess child;
    EXPECT_FALSE (child.start ("vur-no-such-program-4711 --exit 0", {}));
    EXPECT_EQ (child.lastError(), 2u);
    EXPECT_FALSE (child.lastErrorText().empty());

    // Nothing started: the queries answer without a process.
    EXPECT_FALSE (child.isValid());
    EXPECT_TRUE (child.hasEnded());
    EXPECT_EQ (child.processId(), 0);
    EXPECT_EQ (child.waitForExit(), 0u);
    child.kill();
    child.release();

    EXPECT_FALSE (child.start (quoted (vurtest::makeTempDir ("child-missing") + "/absent") + " x", {}));
    EXPECT_EQ (child.lastError(), 2u);
}

TEST (ChildProcess, KillEndsARunningChildWithExitCodeZero)
{
    const std::string ready = vurtest::makeTempDir ("child-kill") + "/ready";

    ChildProcess started;
    ASSERT_TRUE (started.start (quoted (helper) + " --ready " + quoted (ready) + " --sleep 30000", {}));
    ChildProcess child (std::move (started));
    EXPECT_FALSE (started.isValid());
    ASSERT_TRUE (child.isValid());

    ASSERT_TRUE (waitFor ([&] { return fs::exists (ready); }));
    EXPECT_FALSE (child.hasEnded());

    child.kill();
    EXPECT_TRUE (child.hasEnded());
    EXPECT_EQ (child.waitForExit(), 0u);
}

TEST (ChildProcess, KillOfAnEndedChildKeepsItsExitCode)
{
    ChildProcess child;
    ASSERT_TRUE (child.start (quoted (helper) + " --exit 3", {}));
    ASSERT_TRUE (waitFor ([&] { return child.hasEnded(); }));

    child.kill();
    EXPECT_TRUE (child.hasEnded());
    EXPECT_EQ (child.waitForExit(), 3u);
    child.kill();
    EXPECT_EQ (child.waitForExit(), 3u);
}

#ifdef _WIN32
// What the child reports of its console (child_helper's --report-console), by key.
std::map<std::string, std::string> consoleReport (const std::string& path)
{
    std::map<std::string, std::string> report;
    for (const auto& line : readLines (path))
        if (const auto colon = line.find (": "); colon != std::string::npos)
            report[line.substr (0, colon)] = line.substr (colon + 2);
    return report;
}

TEST (ChildProcess, ConsoleOptionsReachTheChild)
{
    const struct
    {
        const char* name;
        ChildProcess::Console console;
        std::string title;
        std::uint16_t fill;
        std::map<std::string, std::string> expected;
    } cases[] = {
        { "own window, title and colours", ChildProcess::Console::ownWindow, "VUR OPC Console", 10,
          { { "window", "yes" }, { "title", "VUR OPC Console" }, { "attributes", "10" }, { "startup title", "VUR OPC Console" },
            { "startup fill", "10" } } },
        { "own window, defaults", ChildProcess::Console::ownWindow, "", 0, { { "window", "yes" }, { "startup fill", "none" } } },
        // Without a window of its own the child still gets both; they show nowhere.
        { "no window, title and colours", ChildProcess::Console::none, "VUR OPC Console", 10,
          { { "window", "no" }, { "startup title", "VUR OPC Console" }, { "startup fill", "10" } } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const std::string report = vurtest::makeTempDir ("child-console") + "/console.txt";
        ChildProcess::Options options;
        options.console = c.console;
        options.consoleTitle = c.title;
        options.consoleFillAttribute = c.fill;
        ChildProcess child;
        ASSERT_TRUE (child.start (quoted (helper) + " --report-console " + quoted (report), options)) << child.lastError();
        EXPECT_EQ (child.waitForExit(), 0u);
        const auto got = consoleReport (report);
        for (const auto& [key, value] : c.expected)
        {
            ASSERT_EQ (got.count (key), 1u) << key;
            EXPECT_EQ (got.at (key), value) << key;
        }
    }
}
#endif

#ifndef _WIN32
using EnvironmentVariable = vurtest::ScopedEnv;

void copyProgram (const std::string& to)
{
    fs::create_directories (fs::path (to).parent_path());
    fs::copy_file (helper, to);
    fs::permissions (to, fs::perms::owner_all);
}

TEST (ChildProcess, FindsProgramsInTheWorkingDirectoryAndOnThePath)
{
    const std::string work = vurtest::makeTempDir ("child-lookup");
    const std::string pathDir = vurtest::makeTempDir ("child-path");
    copyProgram (work + "/vur_wd_child");
    copyProgram (work + "/sub/vur_sub_child");
    copyProgram (pathDir + "/vur_path_child");
    vurtest::writeFile (work + "/vur_plain", "not a program");
    fs::permissions (work + "/vur_plain", fs::perms::owner_read | fs::perms::owner_write);

    struct LookupCase
    {
        const char* program;
        bool workingDirectoryFirst;
        std::optional<std::string> path;
        std::uint32_t expectedError; // 0: starts and runs in the working directory
    };
    const LookupCase cases[] = {
        { "vur_wd_child", true, pathDir, 0 },
        { "vur_wd_child", false, pathDir, ENOENT },
        { "sub/vur_sub_child", false, pathDir, 0 },
        { "./sub/vur_sub_child", false, std::string(), 0 },
        { "vur_path_child", false, pathDir, 0 },
        { "vur_path_child", true, "/nonexistent-folder::" + pathDir, 0 },
        { "vur_path_child", true, std::string(), ENOENT },
        { "vur_path_child", true, std::nullopt, ENOENT },
        { "vur_plain", true, pathDir, EACCES },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.program) + " first=" + std::to_string (c.workingDirectoryFirst)
                      + " PATH=" + c.path.value_or ("(unset)"));
        fs::remove (work + "/report.txt");
        const EnvironmentVariable searchPath ("PATH", c.path);

        ChildProcess::Options options;
        options.workingDirectory = work;
        options.searchWorkingDirectoryFirst = c.workingDirectoryFirst;
        ChildProcess child;
        const bool started = child.start (std::string (c.program) + " --report report.txt", options);

        EXPECT_EQ (started, c.expectedError == 0);
        EXPECT_EQ (child.lastError(), c.expectedError);
        if (started)
        {
            EXPECT_EQ (child.waitForExit(), 0u);
            EXPECT_TRUE (fs::exists (work + "/report.txt"));
        }
    }
}

TEST (ChildProcess, KillEndsAChildThatIgnoresTheFirstRequest)
{
    const std::string ready = vurtest::makeTempDir ("child-stubborn") + "/ready";

    ChildProcess child;
    ASSERT_TRUE (child.start (quoted (helper) + " --ignore-term --ready " + quoted (ready) + " --sleep 30000", {}));
    ASSERT_TRUE (waitFor ([&] { return fs::exists (ready); }));

    child.kill();
    EXPECT_TRUE (child.hasEnded());
    EXPECT_EQ (child.waitForExit(), 0u);
}

char processState (long long pid)
{
    std::ifstream in ("/proc/" + std::to_string (pid) + "/stat");
    std::string stat;
    std::getline (in, stat);
    const auto close = stat.rfind (')');
    return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '\0';
}

bool processGone (long long pid) { return ::kill (static_cast<pid_t> (pid), 0) != 0 && errno == ESRCH; }

TEST (ChildProcess, ReleaseNeverKillsAndLeavesNoZombie)
{
    for (const bool running : { false, true })
    {
        for (const bool byDestructor : { false, true })
        {
            SCOPED_TRACE (std::string (running ? "running" : "ended") + (byDestructor ? ", destroyed" : ", released"));
            const std::string folder = vurtest::makeTempDir ("child-release");
            const std::string go = folder + "/go";
            const std::string done = folder + "/done";

            // A running child waits for the test's word to finish, so that it is still running whatever the
            // load when it is released; it can finish only if the release left it alone.
            long long pid = 0;
            {
                ChildProcess child;
                ASSERT_TRUE (child.start (quoted (helper) + (running ? " --until " + quoted (go) : std::string())
                                              + " --touch " + quoted (done),
                                          {}));
                pid = child.processId();

                if (! running)
                {
                    ASSERT_TRUE (waitFor ([&] { return processState (pid) == 'Z'; }));
                }
                if (! byDestructor)
                {
                    child.release();
                    EXPECT_FALSE (child.isValid());
                }
            }

            if (running)
            {
                EXPECT_FALSE (fs::exists (done));
                vurtest::writeFile (go, "");
                EXPECT_TRUE (waitFor ([&] { return fs::exists (done); })) << "the child was stopped";
                EXPECT_TRUE (waitFor ([&] { return processGone (pid); })) << "state " << processState (pid);
            }
            else
            {
                EXPECT_TRUE (processGone (pid)) << "state " << processState (pid);
            }
        }
    }
}

long long readNumber (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    long long number = 0;
    return in >> number ? number : 0;
}

bool hasEnded (long long pid)
{
    // Reparented, a killed child may linger as a zombie until its new parent collects it.
    const char state = processState (pid);
    return processGone (pid) || state == 'Z' || state == 'X';
}

// Whether SIGKILL waits to be delivered to the process, by its pending-signal masks in /proc.
bool killPending (long long pid)
{
    std::ifstream in ("/proc/" + std::to_string (pid) + "/status");
    for (std::string line; std::getline (in, line);)
        if (line.rfind ("SigPnd:", 0) == 0 || line.rfind ("ShdPnd:", 0) == 0)
            if ((std::stoull (line.substr (7), nullptr, 16) >> (SIGKILL - 1)) & 1u)
                return true;
    return false;
}

TEST (ChildProcess, ChildStartedToEndWithItsParentEndsWhenTheParentIsKilledHard)
{
    for (const bool bound : { true, false })
    {
        SCOPED_TRACE (bound ? "bound" : "unbound");
        const std::string childPidFile = vurtest::makeTempDir ("child-bound") + "/child-pid";

        // The parent under test is a helper of its own that starts the child; this test kills it.
        ChildProcess parent;
        ASSERT_TRUE (parent.start (quoted (helper) + " --start-child " + (bound ? "bound " : "unbound ") + quoted (childPidFile)
                                       + " --sleep 60000",
                                   {}));
        ASSERT_TRUE (waitFor ([&] { return fs::exists (childPidFile); }, std::chrono::seconds (30)));
        const long long child = readNumber (childPidFile);
        ASSERT_GT (child, 0);
        ASSERT_FALSE (hasEnded (child));

        ASSERT_EQ (::kill (static_cast<pid_t> (parent.processId()), SIGKILL), 0);
        parent.waitForExit();

        if (bound)
        {
            EXPECT_TRUE (waitFor ([&] { return hasEnded (child); }, std::chrono::seconds (30))) << "state " << processState (child);
        }
        else
        {
            // The kernel signals the bound child as the parent dies, before the parent can be collected: a
            // signal meant for this child would now be on its way (pending) or done (ended).
            EXPECT_FALSE (hasEnded (child));
            EXPECT_FALSE (killPending (child));
            ::kill (static_cast<pid_t> (child), SIGKILL);
        }
    }
}

TEST (ChildProcess, ChildStartsWithTheStandardStreamsOnlyAndDefaultSignalHandling)
{
    // What a parent may leave behind: a descriptor that is not closed on exec, an ignored signal, a mask.
    const std::string folder = vurtest::makeTempDir ("child-inherit");
    const int leaked = ::open ((folder + "/open-file").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE (leaked, 3);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction savedTerm {};
    ::sigaction (SIGTERM, &ignore, &savedTerm);
    sigset_t usr1;
    sigemptyset (&usr1);
    sigaddset (&usr1, SIGUSR1);
    sigset_t savedMask;
    ::pthread_sigmask (SIG_BLOCK, &usr1, &savedMask);

    for (const bool bound : { false, true })
    {
        SCOPED_TRACE (bound ? "ending with its parent" : "on its own");
        const std::string report = folder + (bound ? "/bound.txt" : "/own.txt");
        ChildProcess::Options options;
        options.endWithParent = bound;
        ChildProcess child;
        ASSERT_TRUE (child.start (quoted (helper) + " --report-inherited " + quoted (report), options));
        EXPECT_EQ (child.waitForExit(), 0u);
        EXPECT_TRUE (fs::exists (report));
        EXPECT_EQ (readLines (report), std::vector<std::string> {});
    }

    ::pthread_sigmask (SIG_SETMASK, &savedMask, nullptr);
    ::sigaction (SIGTERM, &savedTerm, nullptr);
    ::close (leaked);
}

TEST (ChildProcess, KillOfTheChildrenEndingWithTheParentSparesTheOthers)
{
    ChildProcess::Options boundOptions;
    boundOptions.endWithParent = true;
    ChildProcess bound;
    ChildProcess unbound;
    const std::string go = vurtest::makeTempDir ("child-spared") + "/go";
    ASSERT_TRUE (bound.start (quoted (helper) + " --sleep 60000", boundOptions));
    ASSERT_TRUE (unbound.start (quoted (helper) + " --until " + quoted (go) + " --exit 5", {}));

    ChildProcess::killChildrenEndingWithParent();

    EXPECT_EQ (bound.waitForExit(), 128u + SIGKILL);
    // The other child ends the way it chose once told to, not by a signal: nothing reached it.
    EXPECT_FALSE (unbound.hasEnded());
    vurtest::writeFile (go, "");
    EXPECT_EQ (unbound.waitForExit(), 5u);
}
#endif
} // namespace
