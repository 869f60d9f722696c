#include "src-base/platform/system_errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// Functions the backtrace has to name: external linkage and never inlined, so that both the PDB (Windows)
// and the dynamic symbol table (POSIX) know them.
std::atomic<int> vurtestCalls { 0 };

__attribute__ ((noinline)) std::vector<std::string> vurtestCaptureHere (int skipFrames, int maxFrames)
{
    std::vector<std::string> names = Ziz::sys::captureBacktrace (skipFrames, maxFrames);
    ++vurtestCalls;   // no tail call: this frame stays on the stack during the capture
    return names;
}

__attribute__ ((noinline)) std::vector<std::string> vurtestCaptureOneDeeper (int skipFrames, int maxFrames)
{
    std::vector<std::string> names = vurtestCaptureHere (skipFrames, maxFrames);
    ++vurtestCalls;
    return names;
}

namespace
{
bool names (const std::string& entry, const std::string& function)
{
    return entry.find (function) != std::string::npos;
}
} // namespace

TEST (SystemErrors, BacktraceNamesTheCallersInnermostFirstWithinItsLimits)
{
    const auto all = vurtestCaptureOneDeeper (0, 20);
    ASSERT_GE (all.size(), 2u);
    EXPECT_LE (all.size(), 20u);
    EXPECT_PRED2 (names, all[0], "vurtestCaptureHere");
    EXPECT_PRED2 (names, all[1], "vurtestCaptureOneDeeper");

    const auto skipped = vurtestCaptureOneDeeper (1, 20);
    ASSERT_FALSE (skipped.empty());
    EXPECT_PRED2 (names, skipped[0], "vurtestCaptureOneDeeper");

    EXPECT_EQ (vurtestCaptureOneDeeper (0, 1).size(), 1u);
    EXPECT_TRUE (vurtestCaptureOneDeeper (0, 0).empty());
}

TEST (SystemErrors, CapturesOnSeveralThreadsAtOnceAllNameTheirFrames)
{
    // The symbol functions are not thread-safe: the captures are serialised, and each still names its caller.
    std::atomic<int> misnamed { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back ([&misnamed] {
            for (int i = 0; i < 10; ++i)
            {
                const auto trace = vurtestCaptureHere (0, 20);
                if (trace.empty() || ! names (trace[0], "vurtestCaptureHere"))
                    ++misnamed;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ (misnamed, 0);
}

TEST (SystemErrors, ErrorTextsAndTypeNames)
{
    const std::string noFile = Ziz::sys::errnoDescription (ENOENT);
    EXPECT_FALSE (noFile.empty());
    EXPECT_EQ (noFile.find ('\n'), std::string::npos);

    EXPECT_EQ (Ziz::sys::readableTypeName (typeid (std::runtime_error)), "std::runtime_error");
    EXPECT_EQ (Ziz::sys::readableTypeName (typeid (int)), "int");

#ifdef _WIN32
    // The system's message table, on one line (its own line breaks suppressed); nothing for an unknown code.
    for (std::uint32_t code : { 2u, 5u, 87u, 1167u })
    {
        const std::string text = Ziz::sys::lastErrorDescription (code);
        EXPECT_FALSE (text.empty()) << code;
        EXPECT_EQ (text.find_first_of ("\r\n"), std::string::npos) << code << ": " << text;
    }
    EXPECT_EQ (Ziz::sys::lastErrorDescription (0xE0001234u), "");

    Ziz::sys::setLastErrorCode (1167);
    EXPECT_EQ (Ziz::sys::lastErrorCode(), 1167u);
#else
    // No last-error code apart from errno.
    EXPECT_EQ (Ziz::sys::lastErrorDescription (2), "");
    Ziz::sys::setLastErrorCode (1167);
    EXPECT_EQ (Ziz::sys::lastErrorCode(), 0u);
#endif
}

#ifdef _WIN32
TEST (SystemErrors, LookupsLeaveTheCallersErrorCodesAsTheyWere)
{
    // A record built after a backtrace or a message lookup must not report their failures as its own.
    errno = EACCES;
    Ziz::sys::setLastErrorCode (5);
    vurtestCaptureHere (0, 20);
    Ziz::sys::lastErrorDescription (0xE0001234u);
    Ziz::sys::errnoDescription (-1);
    EXPECT_EQ (errno, EACCES);
    EXPECT_EQ (Ziz::sys::lastErrorCode(), 5u);
}
#endif
