#include "app_fixture.h"
#include "meter.h"
#include "src-log/log.h"
#include "src-wnd/tabcanvas.h"
#include "src-wnd/vodaze.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

#ifdef _WIN32
 #include <windows.h>
 #include <tlhelp32.h>
#else
 #include <sys/types.h>
 #include <unistd.h>
#endif

namespace
{
const char* const failed_to_start = "Failed to start the OPC console application.";
const char* const console_failed = "OPC Console has failed.";

// The folder of the running executable: where the window starts its child, and where the build puts
// vur_test_child and vur-opc-sim beside this test program.
std::string executable_folder()
{
    return juce::File::getSpecialLocation (juce::File::currentApplicationFile).getParentDirectory().getFullPathName().toStdString();
}

std::vector<std::string> read_lines (const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in (path);
    for (std::string line; std::getline (in, line);)
        lines.push_back (line);
    return lines;
}

// The window's poll of its console, as the window's timer runs it. The timer is a private base of the
// window, so only an explicit conversion reaches it; the test calls a poll itself where it must know that one
// has happened, and asks whether the polls go on.
juce::Timer& console_poll (VODAze& wnd) { return (juce::Timer&) wnd; }

#ifdef _WIN32
// Whether the process still runs (a process that has ended but whose handle is still held counts as gone).
bool process_exists (long long pid)
{
    HANDLE process = OpenProcess (SYNCHRONIZE, FALSE, static_cast<DWORD> (pid));
    if (process == nullptr)
        return false;
    const bool running = WaitForSingleObject (process, 0) == WAIT_TIMEOUT;
    CloseHandle (process);
    return running;
}

// Ends the process at once, as the task manager or a crash does: it gets no say.
bool kill_hard (long long pid)
{
    HANDLE process = OpenProcess (PROCESS_TERMINATE, FALSE, static_cast<DWORD> (pid));
    if (process == nullptr)
        return false;
    const bool done = TerminateProcess (process, 9) != 0;
    CloseHandle (process);
    return done;
}
#else
bool process_exists (long long pid)
{
    return ::kill (static_cast<pid_t> (pid), 0) == 0 || errno != ESRCH;
}

bool kill_hard (long long pid) { return ::kill (static_cast<pid_t> (pid), SIGKILL) == 0; }
#endif

class MainWindow : public vurtest::AppFixture
{
protected:
    // Moves the configuration file into another folder (one whose path holds spaces, say).
    void use_config_folder (const std::string& dir)
    {
        const std::string application = app->cfg->get_str ("opc_console_application");
        app->cfg.reset();
        std::filesystem::create_directories (dir);
        vurtest::setEnv ("VUR_CONFIG_DIR", dir);
        app->cfg = std::make_unique<Cfg> (app->startup_errors);
        app->cfg->set_str ("output_directory", records_dir + "/%Y/");
        app->cfg->set_str ("opc_console_application", application);
    }

    std::string cfg_path() const { return app->cfg->getFile().getFullPathName().toStdString(); }

    VODAze& open_window()
    {
        app->wnd = app->make_main_window();
        return *app->wnd;
    }

    void TearDown() override
    {
        close_boxes();
        AppFixture::TearDown();
    }
};

TEST_F (MainWindow, ConsoleGetsTheQuotedConfigurationPathAsItsOneArgumentAndRunsInTheExecutablesFolder)
{
    use_config_folder (folder + "/config with spaces");
    const std::string report = folder + "/report.txt";
    const std::string ready = folder + "/ready";
    const std::string application = "vur_test_child --report " + report + " --ready " + ready + " --sleep 60000";
    app->cfg->set_str ("opc_console_application", application);

    auto& wnd = open_window();

    ASSERT_TRUE (pump_until ([&] { return std::filesystem::exists (ready); })) << log_text();
    // (ctest runs this program from another folder than its own, so an inherited folder would show.)
    const std::vector<std::string> expected { executable_folder(), "--report", report, "--ready", ready, "--sleep", "60000", cfg_path() };
    EXPECT_EQ (read_lines (report), expected);
    EXPECT_NE (log_text().find ("starting OPC console: \"" + application + " \"" + cfg_path() + "\"\"\n"), std::string::npos);

    // A poll of the running console reports nothing, and the polls go on.
    console_poll (wnd).timerCallback();
    EXPECT_TRUE (wnd.error_messages.empty());
    EXPECT_TRUE (console_poll (wnd).isTimerRunning());
}

TEST_F (MainWindow, ProgramThatCannotBeStartedGivesBothTextsInOrderAndTheWindowIsStillBuilt)
{
    add_device ("a", "/dev/vur-no-such-port");
    auto& wnd = open_window();

    EXPECT_EQ (wnd.error_messages, std::vector<std::string> { failed_to_start });
    EXPECT_EQ (wnd.notebook.getNumTabs(), 1);

    ASSERT_TRUE (pump_until ([&] { return wnd.error_messages.size() >= 2; }));
    // The report ends the polling: nothing can add to the texts after it.
    EXPECT_FALSE (console_poll (wnd).isTimerRunning());
    EXPECT_EQ (wnd.error_messages, (std::vector<std::string> { failed_to_start, console_failed }));

    const std::string log = log_text();
    const auto start = log.find ("starting OPC console: \"no-such-opc-console-program \"" + cfg_path() + "\"\"\n");
    ASSERT_NE (start, std::string::npos) << log;
    const auto report = log.find ("failed to create child process for OPC console window", start);
    EXPECT_NE (report, std::string::npos) << log;
    EXPECT_NE (log.find ("VODAze::VODAze", start), std::string::npos);
    // The console is started before the first device channel exists.
    EXPECT_LT (report, log.find ("prefix=a"));
}

#ifdef _WIN32
// The children of this process still running as vur_test_child. Windows does not show another process's
// command line through a documented call: the test's child is told apart by being this process's own.
std::vector<long long> running_processes_with_argument (const std::string&)
{
    std::vector<long long> found;
    HANDLE snapshot = CreateToolhelp32Snapshot (TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return { -1 };
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof (entry);
    for (BOOL more = Process32FirstW (snapshot, &entry); more; more = Process32NextW (snapshot, &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp (entry.szExeFile, L"vur_test_child.exe") == 0
            && process_exists (entry.th32ProcessID))
            found.push_back (entry.th32ProcessID);
    CloseHandle (snapshot);
    return found;
}
#else
// The processes still running (zombies aside) whose command line holds the argument.
std::vector<long long> running_processes_with_argument (const std::string& argument)
{
    std::vector<long long> found;
    for (const auto& entry : std::filesystem::directory_iterator ("/proc"))
    {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of ("0123456789") != std::string::npos)
            continue;
        std::ifstream cmdline (entry.path() / "cmdline", std::ios::binary);
        std::string text ((std::istreambuf_iterator<char> (cmdline)), std::istreambuf_iterator<char>());
        std::ifstream stat (entry.path() / "stat");
        std::string status;
        std::getline (stat, status);
        const auto close = status.rfind (')');
        const char state = close != std::string::npos && close + 2 < status.size() ? status[close + 2] : '?';
        if (state != 'Z' && state != 'X' && text.find (std::string (1, '\0') + argument + '\0') != std::string::npos)
            found.push_back (std::stoll (name));
    }
    return found;
}
#endif

TEST_F (MainWindow, ConsoleStartedBeforeTheWindowFailsToBuildIsKilled)
{
    // The console's one distinctive argument tells its process apart from the others of this machine.
    const std::string marker = folder + "/console-marker";
    app->cfg->set_str ("opc_console_application", "vur_test_child --touch " + marker + " --sleep 60000");
    add_device ("a", "/dev/vur-no-such-port");
    // A device whose settings were never completed (a register key gone) makes its channel fail, after the
    // console has started.
    app->cfg->removeValue ("a_opc_kiln_register");

    EXPECT_ANY_THROW (open_window());

    const std::string log = log_text();
    EXPECT_NE (log.find ("starting OPC console: \"vur_test_child --touch " + marker), std::string::npos) << log;
    EXPECT_TRUE (pump_until ([&] { return running_processes_with_argument (marker).empty(); }, 10000))
        << "the console still runs after the window failed";
    EXPECT_NE (log_text().find ("terminating OPC child process"), std::string::npos);
}

TEST_F (MainWindow, ConsoleKilledFromOutsideIsReportedOnceAndTheWindowStillClosesCleanly)
{
    app->cfg->set_str ("opc_console_application", "vur_test_child --sleep 60000");
    auto& wnd = open_window();
    const long long pid = wnd.opc_console_process.processId();
    ASSERT_GT (pid, 0);

    console_poll (wnd).timerCallback();
    EXPECT_TRUE (wnd.error_messages.empty());

    ASSERT_TRUE (kill_hard (pid));
    ASSERT_TRUE (pump_until ([&] { return ! wnd.error_messages.empty(); }));
    // Reported once: the report ends the polling.
    EXPECT_FALSE (console_poll (wnd).isTimerRunning());
    EXPECT_EQ (wnd.error_messages, std::vector<std::string> { console_failed });

    app->wnd.reset();
    EXPECT_NE (log_text().find ("terminating OPC child process"), std::string::npos);
}

TEST_F (MainWindow, ClosingTheWindowKillsTheRunningConsole)
{
    const std::string ready = folder + "/ready";
    app->cfg->set_str ("opc_console_application", "vur_test_child --ready " + ready + " --sleep 60000");
    const long long pid = open_window().opc_console_process.processId();
    ASSERT_GT (pid, 0);
    ASSERT_TRUE (pump_until ([&] { return std::filesystem::exists (ready); }));
    ASSERT_TRUE (process_exists (pid));
    // The search that the failed window's test relies on finds a running console.
    EXPECT_EQ (running_processes_with_argument (ready), std::vector<long long> { pid });

    app->wnd.reset();

    EXPECT_FALSE (process_exists (pid));
    EXPECT_NE (log_text().find ("terminating OPC child process"), std::string::npos);
}

// The console's own window, its title and its colours, as the console reports what it got (the helper's
// --report-console): the window follows the setting, the title and the colours are handed over either way.
TEST_F (MainWindow, ConsoleGetsAWindowOfItsOwnAsSetWithItsTitleAndColours)
{
#ifndef _WIN32
    GTEST_SKIP() << "POSIX has no console windows: the console shares the monitor's terminal";
#else
    for (const bool shown : { true, false })
    {
        SCOPED_TRACE (shown ? "shown" : "hidden");
        const std::string report = folder + (shown ? "/shown.txt" : "/hidden.txt");
        app->cfg->set_str ("opc_show_console_window", shown ? "true" : "false");
        app->cfg->set_str ("opc_console_application", "vur_test_child --report-console " + report + " --sleep 60000");
        open_window();
        ASSERT_TRUE (pump_until ([&] { return std::filesystem::exists (report); }, 30000)) << log_text();

        std::map<std::string, std::string> got;
        for (const auto& line : read_lines (report))
            if (const auto colon = line.find (": "); colon != std::string::npos)
                got[line.substr (0, colon)] = line.substr (colon + 2);
        EXPECT_EQ (got["window"], shown ? "yes" : "no");
        EXPECT_EQ (got["startup title"], "VUR OPC Console");
        EXPECT_EQ (got["startup fill"], "10");
        app->wnd.reset();
    }
#endif
}

TEST_F (MainWindow, StandInConsoleFeedsThePackageNumbersOrFailsOnAnAddressItCannotServe)
{
    vurtest::Meter meter;
    ASSERT_TRUE (meter.is_open()) << vurtest::meter_problem (meter);
    add_device ("a", meter.path);
    // Found in the executable's folder before the search path.
    app->cfg->set_str ("opc_console_application", "vur-opc-sim");

    {
        SCOPED_TRACE ("simulated plant");
        app->cfg->set_str ("opc_url", "sim:?pkg_seconds=1");
        auto& wnd = open_window();
        auto* canvas = dynamic_cast<TabCanvas*> (wnd.notebook.getTabContentComponent (0));
        ASSERT_NE (canvas, nullptr);
        const int first = canvas->figures().current_pkg;
        EXPECT_TRUE (pump_until ([&] { return canvas->figures().current_pkg > first + 1; }, 8000)) << canvas->figures().current_pkg;
        EXPECT_TRUE (wnd.error_messages.empty());
        EXPECT_NE (log_text().find ("prefix=a: detected OPC Console output file"), std::string::npos);
        app->wnd.reset();
    }
    {
        SCOPED_TRACE ("address the stand-in cannot serve");
        app->cfg->set_str ("opc_url", default_opc_url());
        auto& wnd = open_window();
        EXPECT_TRUE (pump_until ([&] { return ! wnd.error_messages.empty(); }, 5000));
        EXPECT_EQ (wnd.error_messages, std::vector<std::string> { console_failed });
        app->wnd.reset();
    }
}
TEST_F (MainWindow, F1RunsTheAboutJobAndOtherKeysArePassedOn)
{
    auto& wnd = open_window();
    const struct
    {
        juce::KeyPress key;
        bool used;
    } cases[] = {
        { juce::KeyPress (juce::KeyPress::F1Key), true },
        { juce::KeyPress (juce::KeyPress::F1Key, juce::ModifierKeys::shiftModifier | juce::ModifierKeys::ctrlModifier, 0), true },
        { juce::KeyPress (juce::KeyPress::F2Key), false },
        { juce::KeyPress (juce::KeyPress::F4Key), false },
        { juce::KeyPress (juce::KeyPress::F2Key, juce::ModifierKeys::ctrlModifier, 0), false },
        { juce::KeyPress (juce::KeyPress::F4Key, juce::ModifierKeys::altModifier, 0), false },
        { juce::KeyPress ('a'), false },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.key.getTextDescription().toStdString());
        const auto before = log_text().size();
        EXPECT_EQ (wnd.keyPressed (c.key), c.used);
        const std::string added = log_text().substr (before);
        if (c.used)
        {
            EXPECT_NE (added.find ("running job #3: \"about window\""), std::string::npos) << added;
            EXPECT_NE (added.find ("About window information:\n" + DERIzidirurodo::about_text() + "\n"), std::string::npos) << added;
        }
        else
        {
            EXPECT_EQ (added, "");
        }
        close_boxes();
    }
}

TEST_F (MainWindow, CloseButtonOnlyWhereClosingIsAllowed)
{
    for (const bool allowed : { true, false })
    {
        SCOPED_TRACE (allowed ? "closing allowed" : "closing not allowed");
        app->cfg->set_str ("allow_user_to_close", allowed ? "TRUE" : "false");
        auto& wnd = open_window();
        auto* peer = wnd.getPeer();
        ASSERT_NE (peer, nullptr);
        EXPECT_EQ ((peer->getStyleFlags() & juce::ComponentPeer::windowHasCloseButton) != 0, allowed);
        EXPECT_NE (peer->getStyleFlags() & juce::ComponentPeer::windowHasMinimiseButton, 0);
        EXPECT_NE (peer->getStyleFlags() & juce::ComponentPeer::windowHasMaximiseButton, 0);

        if (! allowed)
        {
            // What a system close request (Alt+F4) does.
            wnd.closeButtonPressed();
            // Whatever the request set going is handled before a message posted after it.
            ASSERT_TRUE (pump_pending());
            EXPECT_TRUE (wnd.isVisible());
            EXPECT_EQ (log_text().find ("running job #5"), std::string::npos);
        }
        app->wnd.reset();
    }
}

TEST_F (MainWindow, PlacementIsRestoredAtStartAndSavedAtTheEnd)
{
    const struct
    {
        const char* saved; // nullptr: no key
        juce::Rectangle<int> bounds; // empty: centred at the default size
        bool full_screen;
    } cases[] = {
        { "100 120 500 400", { 100, 120, 500, 400 }, false },
        { "fs 30 40 600 450", {}, true },
        { "not a placement", {}, false },
        { nullptr, {}, false },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.saved != nullptr ? c.saved : "no key");
        if (c.saved != nullptr)
            app->cfg->set_str ("VODAze", c.saved);
        else
            app->cfg->removeValue ("VODAze");

        auto& wnd = open_window();
        // The window system answers a placement in its own time: wait for the expected one, then check.
        const auto expected_bounds = [&] {
            if (! c.bounds.isEmpty())
                return c.bounds;
            return juce::Rectangle<int> (640, 480).withCentre (
                juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea.getCentre());
        };
        pump_until ([&] { return wnd.isFullScreen() == c.full_screen && (c.full_screen || wnd.getBounds() == expected_bounds()); });
        EXPECT_EQ (wnd.isFullScreen(), c.full_screen);
        if (! c.bounds.isEmpty())
        {
            EXPECT_EQ (wnd.getBounds(), c.bounds);
        }
        else if (! c.full_screen)
        {
            const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
            EXPECT_EQ (wnd.getBounds(), juce::Rectangle<int> (640, 480).withCentre (screen.getCentre()));
        }

        const juce::String state = wnd.getWindowStateAsString();
        if (c.full_screen)
        {
            EXPECT_TRUE (state.startsWith (c.saved)) << state;
        }
        app->wnd.reset();
        EXPECT_EQ (app->cfg->getValue ("VODAze"), state);
    }
}
} // namespace
