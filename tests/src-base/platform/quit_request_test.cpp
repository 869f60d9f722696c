#include "src-base/platform/quit_request.h"

#include <gtest/gtest.h>

#ifndef _WIN32

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace
{
// The threads of this process, as the system lists them.
std::size_t thread_count()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator ("/proc/self/task"))
        ++count;
    return count;
}

// Each signal the system sends to ask for the end: the handler must hand the request over once, outside
// the signal handler (on a thread other than the one the signal interrupted), however many signals follow.
// The handlers are process-wide, so each case runs in a child process of its own.
TEST (QuitRequest, EverySignalIsHandedOverOnceOnAnotherThread)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
    {
        EXPECT_EXIT (
            {
                const std::size_t threads_before = thread_count();
                static std::atomic<int> calls { 0 };
                static std::atomic<bool> onOtherThread { false };
                const auto caller = std::this_thread::get_id();
                Ziz::sys::installQuitRequestHandlers ([caller] {
                    onOtherThread = std::this_thread::get_id() != caller;
                    ++calls;
                });
                std::raise (signalNumber);
                std::raise (signalNumber);
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (5);
                while (calls == 0 && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for (std::chrono::milliseconds (5));
                // Both signals were written before raise returned; once the thread that hands requests over
                // has ended, no second call can come.
                while (thread_count() > threads_before && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for (std::chrono::milliseconds (5));
                std::_Exit (calls == 1 && onOtherThread ? 0 : 10 + calls);
            },
            ::testing::ExitedWithCode (0), "")
            << "signal " << signalNumber;
    }
}
} // namespace

#else

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace
{
// The threads of this process, as the system lists them.
std::size_t thread_count()
{
    std::size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot (TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry {};
    entry.dwSize = sizeof (entry);
    for (BOOL more = Thread32First (snapshot, &entry); more; more = Thread32Next (snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle (snapshot);
    return count;
}

bool runsUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA ("ntdll.dll");
    return ntdll != nullptr && GetProcAddress (ntdll, "wine_get_version") != nullptr;
}

// How a console asks its processes to end: Ctrl+C and Ctrl+Break typed in it, and its window closed.
enum class ConsoleRequest
{
    ctrlC,
    ctrlBreak,
    windowClosed
};

// Exit codes of the child that runs a case, past those of the verdict (0, and 10 + the number of calls).
constexpr int noConsole = 90;
constexpr int notSent = 91;

bool send (ConsoleRequest request)
{
    switch (request)
    {
        case ConsoleRequest::ctrlC: return GenerateConsoleCtrlEvent (CTRL_C_EVENT, 0) != 0;
        case ConsoleRequest::ctrlBreak: return GenerateConsoleCtrlEvent (CTRL_BREAK_EVENT, 0) != 0;
        case ConsoleRequest::windowClosed: return PostMessageW (GetConsoleWindow(), WM_CLOSE, 0, 0) != 0;
    }
    return false;
}

// The console's requests to end: the handler must hand the request over once, on another thread than the
// one the test runs on (Windows calls console handlers on a thread it starts for the event), however many
// requests follow. The handlers are process-wide and the events go to every process of the console, so each
// case runs in a child process with a console of its own.
void expectHandedOverOnceOnAnotherThread (ConsoleRequest request)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    EXPECT_EXIT (
        {
            FreeConsole();
            if (! AllocConsole())
                std::_Exit (noConsole);
            // A process may start with Ctrl+C turned off (a new process group has it so): turn it on.
            SetConsoleCtrlHandler (nullptr, FALSE);
            const std::size_t threads_before = thread_count();
            static std::atomic<int> calls { 0 };
            static std::atomic<bool> onOtherThread { false };
            const auto caller = std::this_thread::get_id();
            Ziz::sys::installQuitRequestHandlers ([caller] {
                onOtherThread = std::this_thread::get_id() != caller;
                ++calls;
            });
            if (! send (request) || ! send (request))
                std::_Exit (notSent);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (20);
            while (calls == 0 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for (std::chrono::milliseconds (5));
            if (request == ConsoleRequest::windowClosed)
            {
                // The handler keeps the close event's threads waiting until the process ends: once both are
                // there, the second has had its chance to call.
                while (thread_count() < threads_before + 2 && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for (std::chrono::milliseconds (5));
            }
            else
            {
                // Both events were sent before the calls returned; once the threads that carried them have
                // ended, no second call can come.
                while (thread_count() > threads_before && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for (std::chrono::milliseconds (5));
            }
            std::_Exit (calls == 1 && onOtherThread ? 0 : 10 + calls);
        },
        ::testing::ExitedWithCode (0), "")
        << "request " << static_cast<int> (request);
}

TEST (QuitRequest, CtrlCAndAClosedConsoleWindowAreHandedOverOnceOnAnotherThread)
{
    for (const auto request : { ConsoleRequest::ctrlC, ConsoleRequest::windowClosed })
        expectHandedOverOnceOnAnotherThread (request);
}

TEST (QuitRequest, CtrlBreakIsHandedOverOnceOnAnotherThread)
{
    if (runsUnderWine())
        GTEST_SKIP() << "Wine does not send Ctrl+Break: GenerateConsoleCtrlEvent (CTRL_BREAK_EVENT, 0) fails with "
                        "ERROR_INVALID_HANDLE there";
    expectHandedOverOnceOnAnotherThread (ConsoleRequest::ctrlBreak);
}
} // namespace

#endif
