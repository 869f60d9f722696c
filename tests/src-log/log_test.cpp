#include "src-log/log.h"
#include "src-base/platform/os_conventions.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

namespace
{
namespace fs = std::filesystem;

const std::string separator = "\n-------------------------------------\n";
const std::regex timestamped_line (R"(^(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} .*)");

// The log stream opens once per process, so every case runs in a child process started afresh, as the
// system starts; the parent then reads what the child wrote. The child re-runs the test up to its own
// statement, so the folder is named after the test and only the parent empties it. The folder's name is not
// plain ASCII, as a user's temporary folder may not be (C:\Users\Jörg\AppData\Local\Temp).
class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET (death_test_style, "threadsafe");
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = (fs::u8path (vurtest::sandboxDir()) / fs::u8path ("log-" + std::string (test->name()) + " J\u00f6rg")).u8string();
        if (GTEST_FLAG_GET (internal_run_death_test).empty())
            fs::remove_all (fs::u8path (folder));
        fs::create_directories (fs::u8path (folder));
        saved_tmpdir = vurtest::setTempDir (folder);
        log_file = (fs::u8path (folder) / "vur.log").u8string();
    }

    void TearDown() override { vurtest::setTempDir (saved_tmpdir); }

    std::string log_text() const { return vurtest::readTextFile (log_file); }

    template <typename Body>
    void in_child (Body body)
    {
        EXPECT_EXIT (
            {
                body();
                std::_Exit (0);
            },
            ::testing::ExitedWithCode (0), "");
    }

    std::vector<std::string> log_lines() const
    {
        std::vector<std::string> lines;
        const std::string text = log_text();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find ('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back (text.substr (start, end - start));
        return lines;
    }

    std::string folder;
    std::string log_file;
    std::string saved_tmpdir;
};

TEST_F (LogTest, NewFileStartsWithSeparatorAndTimestampedLines)
{
    in_child ([] {
        log_line ("starting Dadovir Moisture Measurement");
        log_line_of ("count=", 17, " ratio=", 0.5);
    });
    const auto text = log_text();
    ASSERT_EQ (text.rfind (separator, 0), 0u) << text;
    const auto lines = log_lines();
    ASSERT_EQ (lines.size(), 4u);
    EXPECT_TRUE (std::regex_match (lines[2], timestamped_line)) << lines[2];
    EXPECT_EQ (lines[2].substr (24), "starting Dadovir Moisture Measurement");
    EXPECT_EQ (lines[3].substr (24), "count=17 ratio=0.5");
    EXPECT_EQ (get_log_filename(), log_file);
}

TEST_F (LogTest, AtOpenOnlyAFileOverTheLimitIsEmptied)
{
    const struct
    {
        std::size_t size;
        bool emptied;
    } cases[] = { { 10485760, false }, { 10485761, true } };

    for (const auto& c : cases)
    {
        vurtest::writeFile (log_file, std::string (c.size, 'x'));
        // Opened only: the first line would take a file at the limit past it (see FullLogIsMovedAsideWhileRunning).
        in_child ([] {
            const juce::ScopedLock guard (log_lock);
            get_log_stream();
        });
        const auto text = log_text();
        if (c.emptied)
        {
            EXPECT_EQ (text.rfind (separator + "truncated previous log file (was 10.00 MiB)\n", 0), 0u);
            EXPECT_LT (text.size(), 200u);
        }
        else
        {
            EXPECT_EQ (text.size(), c.size + separator.size());
            EXPECT_EQ (text.substr (c.size, separator.size()), separator);
        }
    }
}

TEST_F (LogTest, EveryStartAppendsItsSeparator)
{
    in_child ([] { log_line ("first run"); });
    in_child ([] { log_line ("second run"); });
    const auto lines = log_lines();
    ASSERT_EQ (lines.size(), 6u);
    EXPECT_EQ (lines[3], "");
    EXPECT_EQ (lines[4], "-------------------------------------");
    EXPECT_EQ (lines[5].substr (24), "second run");
}

TEST_F (LogTest, ReportsAreOneEntryAndOnlyPendingOnesAreWritten)
{
    in_child ([] {
        log_line ("About window information:\nVUR v1.0.0-2718\n\nmore");
        const Ziz::Exception nullRecord = log_exception (nullptr);
        Ziz::Exception quiet ("f", "x", 1, "already reported");
        quiet.reportPending = false;
        const Ziz::Exception back = log_exception (&quiet);
        if (back.errorText != "already reported" || back.reportPending || nullRecord.functionName != "log_exception")
            std::_Exit (3);
    });
    const auto lines = log_lines();
    ASSERT_GE (lines.size(), 8u);
    EXPECT_TRUE (std::regex_match (lines[2], timestamped_line));
    EXPECT_EQ (lines[3], "VUR v1.0.0-2718");
    EXPECT_EQ (lines[4], "");
    EXPECT_EQ (lines[5], "more");
    EXPECT_EQ (lines[6].substr (24), "An error occurred.");
    const auto text = log_text();
    EXPECT_NE (text.find ("The error text is:  null exception\n"), std::string::npos);
    EXPECT_NE (text.find ("Function name:      log_exception\n"), std::string::npos);
    EXPECT_EQ (text.find ("already reported"), std::string::npos);
}

TEST_F (LogTest, ConcurrentWritersNeverInterleave)
{
    in_child ([] {
        auto writer = [] (char c) {
            for (int i = 0; i < 500; ++i)
                log_line (std::string (200, c));
        };
        std::thread a (writer, 'a');
        std::thread b (writer, 'b');
        a.join();
        b.join();
    });
    const auto lines = log_lines();
    ASSERT_EQ (lines.size(), 1002u);
    for (std::size_t i = 2; i < lines.size(); ++i)
    {
        const auto body = lines[i].substr (24);
        EXPECT_TRUE (body == std::string (200, 'a') || body == std::string (200, 'b')) << i;
    }
}

// A log that cannot be written costs its lines, never the work they describe: the reading threads and the
// charts go on, and the reason is at hand for the charts to show.
TEST_F (LogTest, UnwritableLogCostsTheLineAndSaysWhy)
{
    const std::string missing = (fs::u8path (folder) / "no" / "such" / "folder").u8string();
    // Set in the child only: the test framework itself needs a temporary folder to start it.
    in_child ([&missing] {
        vurtest::setTempDir (missing);
        const std::string failure = "failed to open output logging file \"" + (fs::u8path (missing) / "vur.log").u8string() + "\"";
        if (log_line ("lost") || log_failure() != failure)
            std::_Exit (3);
        try
        {
            const juce::ScopedLock guard (log_lock);
            get_log_stream();
            std::_Exit (4);
        }
        catch (const Ziz::Exception& e)
        {
            if (std::string (e.what()) != failure || e.functionName != "get_log_stream")
                std::_Exit (5);
        }
    });
}

TEST_F (LogTest, AFailedWriteCostsOnlyItsOwnLine)
{
    if (! fs::exists ("/dev/full"))
        GTEST_SKIP() << "needs a device on which every write fails";
    // Writes to /dev/full fail as on a full disk; once the file is a plain one again, writing works. A failure
    // reported meanwhile goes to the standard error stream, and nothing throws.
    EXPECT_EXIT (
        {
            fs::create_symlink ("/dev/full", log_file);
            if (log_line ("lost") || log_line ("lost too") || log_failure().empty())
                std::_Exit (3);
            const Ziz::Exception record ("reader", __FILE__, __LINE__, "a report the full disk cannot take");
            log_exception (&record);
            fs::remove (log_file);
            if (! log_line ("written again") || ! log_failure().empty())
                std::_Exit (4);
            log_line ("and after");
            std::_Exit (0);
        },
        ::testing::ExitedWithCode (0), "a report the full disk cannot take");
    ASSERT_FALSE (fs::is_symlink (log_file)); // reading /dev/full would never end
    const auto lines = log_lines();
    ASSERT_EQ (lines.size(), 5u) << log_text();
    EXPECT_EQ (lines[2].substr (24), "3 log lines could not be written (failed to open output logging file \"" + log_file + "\")");
    EXPECT_EQ (lines[3].substr (24), "written again");
    EXPECT_EQ (lines[4].substr (24), "and after");
}

TEST_F (LogTest, FullLogIsMovedAsideWhileRunning)
{
    const std::string old_file = log_file + ".old";
    const std::size_t limit = 10485760;
    // The separator (37 characters and two line ends) and one line of 24 + 100 characters and a line end take
    // the file exactly to the limit. A line end is two bytes on Windows.
    const std::size_t line_end = Ziz::sys::textLineBreakSize();
    const std::size_t start_size = limit - (37 + 2 * line_end) - (124 + line_end);
    const std::string line_of_100 (100, 'x');
    vurtest::writeFile (log_file, std::string (start_size, 'p'));
    vurtest::writeFile (old_file, "an older log");

    in_child ([&line_of_100] {
        log_line (line_of_100);
        log_line ("one more");
        log_line ("and another");
    });

    EXPECT_EQ (fs::file_size (fs::u8path (old_file)), limit);
    EXPECT_EQ (vurtest::readFile (old_file).substr (limit - 100 - line_end), line_of_100 + (line_end == 2 ? "\r\n" : "\n"));
    const auto lines = log_lines();
    ASSERT_EQ (lines.size(), 3u) << log_text();
    EXPECT_EQ (lines[0], "moved previous log file to " + old_file + " (was 10.00 MiB)");
    EXPECT_TRUE (std::regex_match (lines[1], timestamped_line)) << lines[1];
    EXPECT_EQ (lines[1].substr (24), "one more");
    EXPECT_EQ (lines[2].substr (24), "and another");
}
} // namespace
