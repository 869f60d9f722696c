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

#endif
