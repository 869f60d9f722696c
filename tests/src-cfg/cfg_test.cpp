#include "src-cfg/cfg.h"
#include "src-base/core/ZizException.h"
#include "src-base/core/ZizString.h"
#include "src-vur/sort_cfg_file.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace
{
namespace fs = std::filesystem;

// Each test gets its own configuration folder.
class CfgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = vurtest::makeTempDir ("cfg");
        vurtest::setEnv ("VUR_CONFIG_DIR", folder);
    }

    std::string file() const { return (fs::path (folder) / "DuvidudUvereverOzure.cfg").string(); }

    std::string folder;
    std::vector<std::string> errors;
};

TEST_F (CfgTest, FirstStartWritesExactlyTheGlobalDefaults)
{
    {
        Cfg cfg (errors);
        EXPECT_EQ (cfg.getFile().getFullPathName().toStdString(), file());
    }
    EXPECT_TRUE (errors.empty());

    juce::PropertiesFile reread (juce::File (file()), Cfg::default_options());
    const auto keys = reread.getAllProperties().getAllKeys();
    const std::vector<std::string> expected = {
        "get_version_number", "get_motd", "output_directory", "opc_console_application", "opc_url", "opc_group",
        "opc_show_console_window", "allow_user_to_close", "warn_if_package_contains_too_many_boards",
        "warn_board_threshold", "warn_seconds_between_warnings", "opc_output_filename",
    };
    ASSERT_EQ (keys.size(), static_cast<int> (expected.size()));
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ (keys[i].toStdString(), expected[static_cast<std::size_t> (i)]);

    EXPECT_EQ (reread.getValue ("warn_board_threshold"), "1500");
    EXPECT_EQ (reread.getValue ("opc_group"), "INFEED");
    EXPECT_EQ (reread.getValue ("opc_show_console_window"), "FALSE");
    EXPECT_EQ (reread.getValue ("opc_output_filename").toStdString(),
               juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vad_odu_durodo.txt").getFullPathName().toStdString());
    // The line ends of the framework's XML writer, which the shutdown sort relies on.
    EXPECT_NE (vurtest::readFile (file()).find ("<PROPERTIES>\r\n"), std::string::npos);
}

TEST_F (CfgTest, EditedValuesSurviveExceptTheOutputFileName)
{
    vurtest::writeFile (file(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES>\r\n"
                                "  <VALUE name=\"output_directory\" val=\"/srv/records/%Y/\"/>\r\n"
                                "  <VALUE name=\"opc_output_filename\" val=\"/elsewhere.txt\"/>\r\n"
                                "  <VALUE name=\"A_Name\" val=\"Planer\"/>\r\n"
                                "</PROPERTIES>\r\n");
    Cfg cfg (errors);
    EXPECT_EQ (cfg.get_str ("output_directory"), "/srv/records/%Y/");
    EXPECT_NE (cfg.get_str ("opc_output_filename"), "/elsewhere.txt");

    // Keys are found ignoring case, and a write keeps the stored spelling.
    EXPECT_EQ (cfg.get_str ("a_name"), "Planer");
    cfg.set_str ("a_name", "Moulder");
    EXPECT_EQ (cfg.get_str ("A_NAME"), "Moulder");
    const auto keys = cfg.get_keys();
    EXPECT_EQ (std::count (keys.begin(), keys.end(), "A_Name"), 1);
    EXPECT_EQ (std::count (keys.begin(), keys.end(), "a_name"), 0);
}

TEST_F (CfgTest, TypedGetters)
{
    Cfg cfg (errors);
    cfg.set_str ("t_ms", "250ms");
    cfg.set_str ("t_blank", " 42");
    cfg.set_str ("t_empty", "");
    cfg.set_str ("t_yes", "Yes");
    cfg.set_str ("t_maybe", "maybe");
    cfg.set_default ("t_neg", -5);
    cfg.set_default ("t_neg", 9); // only when missing

    EXPECT_EQ (cfg.get_int ("t_ms"), 250);
    EXPECT_EQ (cfg.get_int ("t_blank"), 42);
    EXPECT_EQ (cfg.get_int ("t_empty"), 0);
    EXPECT_EQ (cfg.get_int ("t_neg"), -5);
    EXPECT_TRUE (cfg.get_bool ("t_yes", false));
    EXPECT_FALSE (cfg.get_bool ("t_maybe", false));
    EXPECT_TRUE (cfg.get_bool ("t_missing", true));
    EXPECT_EQ (cfg.get_str ("t_missing", "fallback"), "fallback");

    for (const auto& call : { +[] (Cfg& c) { c.get_str ("t_missing"); }, +[] (Cfg& c) { c.get_int ("t_missing"); } })
    {
        try
        {
            call (cfg);
            FAIL() << "no exception for a missing key";
        }
        catch (const Ziz::Exception& e)
        {
            EXPECT_EQ (std::string (e.what()), "expected configuration to contain a key named \"t_missing\"");
            EXPECT_EQ (e.sourceFileName, "src-cfg\\cfg");
        }
    }
}

TEST_F (CfgTest, FailedSaveBecomesAStartupError)
{
    // A folder where the file should be: the save cannot succeed.
    fs::create_directories (file());
    Cfg cfg (errors);
    ASSERT_EQ (errors.size(), 1u);
    EXPECT_EQ (errors[0], "Failed to save configuration file " + file() + ". (Permission issues?)");
}

TEST_F (CfgTest, UnreadableFileIsReportedAndNeverWrittenOver)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES>\r\n"
                             "  <VALUE name=\"planer1_device\" val=\"/dev/ttyS0\"/>\r\n";
    struct Case
    {
        const char* what;
        std::string text;
        std::string reason;
    };
    const Case cases[] = {
        { "a hand edit lost a quote", head + "  <VALUE name=\"planer1_name val=\"Planer\"/>\r\n</PROPERTIES>\r\n",
          "reading stopped: expected '=' after attribute 'Planer'" },
        { "cut short", head, "reading stopped: unmatched tags" },
        { "another outer element", "<SETTINGS>\r\n  <VALUE name=\"a\" val=\"1\"/>\r\n</SETTINGS>\r\n",
          "its outer element is <SETTINGS>, not <PROPERTIES>" },
        { "empty", "", "reading stopped: not enough input" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        errors.clear();
        vurtest::writeFile (file(), c.text);
        {
            Cfg cfg (errors);
            // The defaults serve in memory; nothing reaches the file, neither a change nor the last save.
            EXPECT_EQ (cfg.get_str ("warn_board_threshold"), "1500");
            cfg.set_str ("planer1_last_kiln", "7");
            EXPECT_TRUE (cfg.saveIfNeeded());
        }
        ASSERT_EQ (errors.size(), 1u);
        EXPECT_EQ (errors[0], "The configuration file " + file() + " cannot be read (" + c.reason
                                  + "). It has been left as it is: correct it or move it away, then start the program again.");
        EXPECT_EQ (vurtest::readFile (file()), c.text);
    }
}

TEST_F (CfgTest, SortAtShutdownOrdersEntriesAndRewritesOnlyWhenNeeded)
{
    vurtest::writeFile (file(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<PROPERTIES>\n"
                                "  <VALUE name=\"b\" val=\"2\"/>\n  <VALUE name=\"A\" val=\"1\"/>\n  <VALUE name=\"c\" val=\"3\"/>\n"
                                "</PROPERTIES>\n");
    sort_cfg_file (file());
    EXPECT_EQ (vurtest::readFile (file()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES>\r\n"
                                           "  <VALUE name=\"A\" val=\"1\"/>\r\n  <VALUE name=\"b\" val=\"2\"/>\r\n  <VALUE name=\"c\" val=\"3\"/>\r\n"
                                           "</PROPERTIES>\r\n\r\n");
    EXPECT_FALSE (fs::exists (folder + "/DuvidudUvereverOzure.tmp"));

    // Already sorted: untouched, modification time included.
    const auto before = fs::last_write_time (file());
    const auto content = vurtest::readFile (file());
    sort_cfg_file (file());
    EXPECT_EQ (fs::last_write_time (file()), before);
    EXPECT_EQ (vurtest::readFile (file()), content);

    // Without a closing marker or on one line: untouched.
    for (const char* odd : { "<PROPERTIES>\n  <VALUE name=\"b\"/>\n  <VALUE name=\"a\"/>\n", "<PROPERTIES/>\n" })
    {
        vurtest::writeFile (file(), odd);
        sort_cfg_file (file());
        EXPECT_EQ (vurtest::readFile (file()), odd);
    }

    // A missing file stays missing and nothing is thrown.
    sort_cfg_file (folder + "/none.cfg");
    EXPECT_FALSE (fs::exists (folder + "/none.cfg"));
}
} // namespace
