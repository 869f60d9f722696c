#include "src-base/platform/quit_request.h"

#include <gtest/gtest.h>

#ifndef _WIN32

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace
{
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
                std::this_thread::sleep_for (std::chrono::milliseconds (100));
                std::_Exit (calls == 1 && onOtherThread ? 0 : 10 + calls);
            },
            ::testing::ExitedWithCode (0), "")
            << "signal " << signalNumber;
    }
}
} // namespace

#endif
