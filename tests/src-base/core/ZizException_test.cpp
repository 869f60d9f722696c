#include "src-base/core/ZizException.h"
#include "src-base/platform/system_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

namespace
{
std::vector<std::string> lines_of (const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find ('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back (text.substr (start, end - start));
    return lines;
}

Ziz::Exception quiet (const std::string& message, int line = 42)
{
    errno = 0;
    Ziz::sys::setLastErrorCode (0);
    return Ziz::Exception ("DERIzidirurodo::run", "c:\\build\\tree\\src-vur\\kmmapp", line, message);
}

TEST (ZizExceptionReport, LayoutOfAFullReport)
{
    const auto record = quiet ("  something broke\n");
    EXPECT_EQ (record.errorText, "something broke");
    EXPECT_STREQ (record.what(), "something broke");
    EXPECT_TRUE (record.reportPending);

    const auto lines = lines_of (record.report());
    ASSERT_GE (lines.size(), 8u);
    EXPECT_EQ (lines[0], "An error occurred.");
    EXPECT_EQ (lines[1], "Please try again, or contact " + Ziz::supportContact() + " for assistance.");
    EXPECT_EQ (lines[2], "");
    EXPECT_EQ (lines[3], "The error type is:  Ziz::Exception");
    EXPECT_EQ (lines[4], "The error text is:  something broke");
    EXPECT_EQ (lines[5], "Source file name:   \\src-vur\\kmmapp, #42");
    EXPECT_EQ (lines[6], "Function name:      DERIzidirurodo::run");
    EXPECT_EQ (lines[7], "");
    EXPECT_EQ (lines[8], "The backtrace is:");
    EXPECT_LE (lines.size() - 9, 20u);
    for (std::size_t i = 9; i < lines.size(); ++i)
        EXPECT_EQ (lines[i].rfind ("    ", 0), 0u) << lines[i];
    EXPECT_EQ (record.report().back(), '\n');
}

TEST (ZizExceptionReport, WrappedStandardExceptionNamesBothTypes)
{
    const std::runtime_error cause ("disk on fire");
    errno = 0;
    Ziz::sys::setLastErrorCode (0);
    const Ziz::Exception record ("LoadWnd::run", "src-vur/loadwnd.cpp", 7, cause);
    EXPECT_EQ (record.errorType, "std::runtime_error");
    EXPECT_NE (record.report().find ("The error type is:  std::runtime_error [Ziz::Exception]\n"), std::string::npos);
    EXPECT_EQ (record.errorText, "disk on fire");
}

TEST (ZizExceptionReport, OptionalLines)
{
    // errno and the last error both clear: neither line.
    const auto clear = quiet ("x").report();
    EXPECT_EQ (clear.find ("Previous errno:"), std::string::npos);
    EXPECT_EQ (clear.find ("Other error:"), std::string::npos);

    errno = ENOENT;
    const Ziz::Exception withErrno ("f", "a/b", 1, "x");
    EXPECT_EQ (withErrno.previousErrno, ENOENT);
    EXPECT_NE (withErrno.report().find ("Previous errno:     " + std::to_string (ENOENT) + " ["), std::string::npos);

    Ziz::Exception odd = quiet ("x");
    odd.previousErrno = -77777;
    EXPECT_NE (odd.report().find ("Previous errno:     -77777 ["), std::string::npos);

    // A two-line text starts on a line of its own; line 0 drops ", #"; no file, no function: no lines.
    Ziz::Exception twoLines = quiet ("first\nsecond", 0);
    const auto report = twoLines.report();
    EXPECT_NE (report.find ("The error text is:  \nfirst\nsecond\n"), std::string::npos);
    EXPECT_NE (report.find ("Source file name:   \\src-vur\\kmmapp\n"), std::string::npos);

    twoLines.sourceFileName.clear();
    twoLines.functionName.clear();
    EXPECT_EQ (twoLines.report().find ("Source file name:"), std::string::npos);
    EXPECT_EQ (twoLines.report().find ("Function name:"), std::string::npos);
}

TEST (ZizExceptionReport, ShortenedSourceNames)
{
    const struct
    {
        const char* name;
        const char* shown;
    } cases[] = {
        { "c:\\build\\tree\\src-vur\\kmmapp", "\\src-vur\\kmmapp" },
        { "/work/main/src-vur/kmmapp.cpp", "/kmmapp.cpp" },
        { "src-cfg\\cfg", "src-cfg\\cfg" },
        { "/a/b", "/a/b" },
        { "/a/b/c", "/a/b/c" },
        { "a/b/c", "a/b/c" },
        { "a/b/c/d", "/d" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (Ziz::shortenSourceFileName (c.name), c.shown) << c.name;
}

TEST (ZizExceptionRecord, CopiesKeepEveryFieldAndDefaultIsEmpty)
{
    const Ziz::Exception empty;
    EXPECT_FALSE (empty.reportPending);
    EXPECT_TRUE (empty.errorText.empty());

    Ziz::Exception original = quiet ("copied");
    original.reportPending = false;
    const Ziz::Exception copy (original);
    EXPECT_EQ (copy.errorText, "copied");
    EXPECT_FALSE (copy.reportPending);
    EXPECT_EQ (copy.lineNumber, 42);
    EXPECT_EQ (copy.backtrace, original.backtrace);
}
} // namespace

namespace
{
Ziz::Exception record_at_depth (int depth)
{
    if (depth > 0)
    {
        auto record = record_at_depth (depth - 1);
        record.lineNumber += 1; // keeps the recursion from becoming a loop
        return record;
    }
    return Ziz::Exception ("deep", "x", 1, "deep");
}

TEST (ZizExceptionRecord, BacktraceKeepsTheTwentyInnermostFrames)
{
    const auto record = record_at_depth (40);
    EXPECT_EQ (record.backtrace.size(), 20u);
}
} // namespace
