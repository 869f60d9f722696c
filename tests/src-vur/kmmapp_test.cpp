#include "app_fixture.h"
#include "src-log/log.h"
#include "src-base/platform/crash_deadline.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

namespace
{
using Jobs = vurtest::AppFixture;

TEST_F (Jobs, NamesAndJobsThatDoNothing)
{
    const struct
    {
        int job;
        const char* line;
    } cases[] = { { 0, "running job #0: \"invalid\"" }, { 6, "running job #6: \"no-op\"" }, { 7, "running job #7: \"?\"" },
                  { -1, "running job #-1: \"?\"" } };
    for (const auto& c : cases)
    {
        const auto before = log_text().size();
        app->run (c.job);
        const std::string added = log_text().substr (before);
        EXPECT_NE (added.find (c.line), std::string::npos) << added;
        EXPECT_EQ (std::count (added.begin(), added.end(), '\n'), 1) << added;
    }
    EXPECT_EQ (app->wnd, nullptr);
}

TEST_F (Jobs, AFailingJobIsLoggedAndTheSystemCarriesOn)
{
    add_device ("a", "/dev/vur-no-such-port");
    app->cfg->removeValue ("opc_console_application");

    app->run (DERIzidirurodo::job_main_window);

    const std::string log = log_text();
    EXPECT_NE (log.find ("running job #4: \"main window\""), std::string::npos);
    EXPECT_NE (log.find ("expected configuration to contain a key named \"opc_console_application\""), std::string::npos) << log;
    EXPECT_NE (log.find ("Function name:      Cfg::get_str"), std::string::npos);
    EXPECT_EQ (app->wnd, nullptr);

    app->run (DERIzidirurodo::job_no_op);
    EXPECT_NE (log_text().find ("running job #6"), std::string::npos);
}

TEST_F (Jobs, EveryAboutJobLogsTheTextAndOpensABox)
{
    app->run (DERIzidirurodo::job_about_window);
    app->run (DERIzidirurodo::job_about_window);

    const std::string log = log_text();
    EXPECT_EQ (vurtest::count_of (log, "About window information:"), 2u);
    // The boxes open from the message loop; a third would be up by the time a message posted after both is.
    EXPECT_TRUE (pump_until ([] { return juce::ModalComponentManager::getInstance()->getNumModalComponents() >= 2; }));
    EXPECT_TRUE (pump_pending());
    EXPECT_EQ (juce::ModalComponentManager::getInstance()->getNumModalComponents(), 2);
    close_boxes();
}

TEST_F (Jobs, AboutTextLayout)
{
    const std::string text = DERIzidirurodo::about_text();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find ('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back (text.substr (start, end - start));
    lines.push_back (text.substr (start));

    ASSERT_EQ (lines.size(), 14u) << text;
    EXPECT_EQ (lines[0], "VUR v1.0.0-2718");
    EXPECT_EQ (lines[1], "");
    EXPECT_NE (lines[2].find ('@'), std::string::npos);
    EXPECT_EQ (lines[4], "");
    EXPECT_TRUE (std::regex_match (lines[5], std::regex (R"(Built: (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ \d]\d \d{4} \d\d:\d\d:\d\d)")))
        << lines[5];
    EXPECT_TRUE (std::regex_match (lines[6], std::regex (R"(Type: \w+, \w+ build)"))) << lines[6];
    EXPECT_EQ (lines[7].rfind ("User: ", 0), 0u);
    EXPECT_TRUE (std::regex_match (lines[8], std::regex (R"(O/S: (64|32)-bit .+, .*, .*)"))) << lines[8];
    EXPECT_EQ (lines[9], "Log: " + get_log_filename());
    EXPECT_EQ (lines[10], "Cfg: " + app->cfg->getFile().getFullPathName().toStdString());
    EXPECT_EQ (lines[11], "");
    EXPECT_EQ (lines[12], "Juce: version 7.0.5");
    EXPECT_EQ (lines[13], "Ravozoz: version 0.0.1-2440");
}

TEST_F (Jobs, AccessorFindsTheApplicationAndFailsWithout)
{
    EXPECT_EQ (&vur(), app.get());
    TearDown();
    try
    {
        vur();
        FAIL() << "no exception without an application object";
    }
    catch (const Ziz::Exception& e)
    {
        EXPECT_STREQ (e.what(), "failed to find an active application pointer");
        EXPECT_EQ (e.functionName, "vur");
    }
}

TEST_F (Jobs, TerminateHandlerLogsAReportAndExitsWithStatus2)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    EXPECT_EXIT (
        {
            std::set_terminate (VUR_CPlusPlus_Terminate_Handler);
            std::terminate();
        },
        ::testing::ExitedWithCode (2), "");
    const std::string log = log_text();
    EXPECT_NE (log.find ("terminate handler invoked\n"), std::string::npos);
    EXPECT_NE (log.find ("Function name:      VUR_CPlusPlus_Terminate_Handler"), std::string::npos);
}
// A crash that leaves the log locked (here: another thread holds it for good) must still end the process with
// the crash's status, not hang with the window frozen.
TEST_F (Jobs, CrashHandlerEndsTheProcessEvenWhenTheLogStaysLocked)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    EXPECT_EXIT (
        {
            Ziz::sys::prepareCrashDeadline();
            std::atomic<bool> holding { false };
            std::thread holder ([&holding] {
                log_lock.enter();
                holding = true;
                for (;;)
                    std::this_thread::sleep_for (std::chrono::hours (1));
            });
            holder.detach();
            while (! holding)
                std::this_thread::yield();
            VUR_Juce_Crash_Handler (nullptr);
        },
        ::testing::ExitedWithCode (1), "");
}

// Answers every modal box as soon as it opens, from the message loop that the box itself runs.
class BoxAnswerer : private juce::Timer
{
public:
    BoxAnswerer() { startTimer (50); }

private:
    void timerCallback() override
    {
        auto* modal = juce::ModalComponentManager::getInstance();
        if (auto* box = modal->getModalComponent (0))
            box->exitModalState (0);
    }
};

TEST_F (Jobs, StartThatLeavesNoMainWindowEndsWithTheStartupErrorBoxAndStatus1)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    add_device ("a", "/dev/vur-no-such-port");
    app->cfg->removeValue ("opc_console_application");
    EXPECT_EXIT (
        {
            BoxAnswerer answerer;
            app->run (DERIzidirurodo::job_show_first_window);
            app->end_unless_main_window_open();
        },
        ::testing::ExitedWithCode (1), "");
    EXPECT_NE (log_text().find ("Error detected:\nThe main window could not be opened (expected configuration to contain a key named "
                                "\"opc_console_application\"). The log file " + get_log_filename() + " has the details.\n"),
               std::string::npos)
        << log_text();
}
TEST (CrashHandler, ReportReachesStandardOutputWhenTheLogCannotBeWritten)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    // A folder where the log file belongs: the log cannot be opened.
    const std::string folder = vurtest::sandboxDir() + "/crash-without-log";
    std::filesystem::create_directories (folder + "/vur.log");
    const std::string output = folder + "/stdout.txt";
    EXPECT_EXIT (
        {
            vurtest::setTempDir (folder);
            if (std::freopen (output.c_str(), "w", stdout) == nullptr)
                std::_Exit (5);
            VUR_Juce_Crash_Handler (nullptr);
        },
        ::testing::ExitedWithCode (1), "");
    // Standard output is a text stream: line ends as the system writes them.
    const std::string text = vurtest::readTextFile (output);
    // The record's own "P=2, M=" line with its report (the log's failures print theirs around it).
    const auto record = text.find ("The error text is:  crash handler invoked\n");
    ASSERT_NE (record, std::string::npos) << text;
    EXPECT_NE (text.rfind ("P=2, M=An error occurred.", record), std::string::npos) << text;
    EXPECT_NE (text.find ("Function name:      VUR_Juce_Crash_Handler", record), std::string::npos) << text;
}
} // namespace
