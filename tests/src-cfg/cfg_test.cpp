#include "src-cfg/cfg.h"
#include "src-base/core/ZizException.h"
#include "src-base/core/ZizString.h"
#include "src-vur/sort_cfg_file.h"
#include "small_stack.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>

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

// Code below the application finds the settings through the store's own accessor: the first store built
// (the application's), not one built beside it, and none once it is gone.
TEST_F (CfgTest, TheStoreAccessorFindsTheFirstStoreUntilItGoes)
{
    EXPECT_EQ (find_cfg_store(), nullptr);
    EXPECT_THROW (cfg_store(), Ziz::Exception);

    auto first = std::make_unique<Cfg> (errors);
    EXPECT_EQ (&cfg_store(), first.get());
    {
        Cfg beside (errors);
        EXPECT_EQ (&cfg_store(), first.get());
    }
    EXPECT_EQ (&cfg_store(), first.get());

    first.reset();
    EXPECT_EQ (find_cfg_store(), nullptr);
    Cfg next (errors);
    EXPECT_EQ (&cfg_store(), &next);
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
        // The framework's writer parses each value as XML at every save, one call per level.
        { "a value of escaped elements nested without end",
          head + "  <VALUE name=\"note\" val=\"" + [] {
              std::string deep;
              for (int i = 0; i < 20000; ++i)
                  deep += "&lt;a&gt;";
              return deep;
          }() + "\"/>\r\n</PROPERTIES>\r\n",
          "the value of note: elements are nested deeper than 64 levels" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        errors.clear();
        vurtest::writeFile (file(), c.text);
        EXPECT_FALSE (Cfg::unsafe_file_error()) << "the reader itself can be given this file";
        // On a worker-sized stack: what the framework does with the file must not depend on a large one.
        vurtest::runOnStackOf (vurtest::oneMebibyte, [this] {
            Cfg cfg (errors);
            // The defaults serve in memory; nothing reaches the file, neither a change nor the last save.
            EXPECT_EQ (cfg.get_str ("warn_board_threshold"), "1500");
            cfg.set_str ("planer1_last_kiln", "7");
            EXPECT_TRUE (cfg.saveIfNeeded());
        });
        ASSERT_EQ (errors.size(), 1u);
        EXPECT_EQ (errors[0], "The configuration file " + file() + " cannot be read (" + c.reason
                                  + "). It has been left as it is: correct it or move it away, then start the program again.");
        EXPECT_EQ (vurtest::readFile (file()), c.text);
    }

    // A file whose elements nest without end is never given to the reader: the store could not be built.
    std::string deep = head;
    for (int i = 0; i < 20000; ++i)
        deep += "<a>";
    vurtest::writeFile (file(), deep);
    const auto unsafe = Cfg::unsafe_file_error();
    ASSERT_TRUE (unsafe);
    EXPECT_EQ (*unsafe, "The configuration file " + file() + " cannot be read (its elements are nested deeper than 64 levels)."
                        " It has been left as it is: correct it or move it away, then start the program again.");
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
std::map<std::string, std::string> entries_of (juce::PropertiesFile& props)
{
    std::map<std::string, std::string> entries;
    const auto& all = props.getAllProperties();
    for (int i = 0; i < all.size(); ++i)
        entries[all.getAllKeys()[i].toStdString()] = all.getAllValues()[i].toStdString();
    return entries;
}

TEST_F (CfgTest, SortKeepsEveryEntryTheFrameworkWrote)
{
    // A device prefix of 32 characters pushes its longer keys' values onto a continuation line, and a
    // name that reads as XML is written as a child element over three lines.
    const std::string prefix = "planer_number_one_on_infeed_line";
    const std::map<std::string, std::string> written = {
        { "warn_board_threshold", "1500" },
        { prefix + "_device", "/dev/ttyS0" },
        { prefix + "_opc_via_csv_filename", "/srv/plant/numbers.csv" },
        { prefix + "_last_kiln", "7" },
        { "a_name", "<b>Planer</b>" },
        { "B_device", "com5" },
    };
    {
        juce::PropertiesFile props (juce::File (file()), Cfg::default_options());
        for (const auto& key : { "warn_board_threshold", "planer_number_one_on_infeed_line_device",
                                 "planer_number_one_on_infeed_line_opc_via_csv_filename", "a_name",
                                 "planer_number_one_on_infeed_line_last_kiln", "B_device" })
            props.setValue (key, juce::String (written.at (key)));
        ASSERT_TRUE (props.save());
    }
    const std::string before = vurtest::readFile (file());
    ASSERT_NE (before.find ("_opc_via_csv_filename\"\r\n         val=\"/srv/plant/numbers.csv\"/>"), std::string::npos) << before;
    ASSERT_NE (before.find ("<VALUE name=\"a_name\">\r\n    <b>Planer</b>\r\n  </VALUE>"), std::string::npos) << before;

    sort_cfg_file (file());

    juce::PropertiesFile reread (juce::File (file()), Cfg::default_options());
    EXPECT_TRUE (reread.isValidFile());
    EXPECT_EQ (entries_of (reread), written);
    const std::vector<std::string> order = { "a_name", "B_device", prefix + "_device", prefix + "_last_kiln",
                                             prefix + "_opc_via_csv_filename", "warn_board_threshold" };
    const auto keys = reread.getAllProperties().getAllKeys();
    ASSERT_EQ (keys.size(), static_cast<int> (order.size()));
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ (keys[i].toStdString(), order[static_cast<std::size_t> (i)]);
    // Nothing is left beside the file.
    EXPECT_EQ (std::distance (fs::directory_iterator (folder), fs::directory_iterator()), 1);
}

TEST_F (CfgTest, SortLeavesAFileAloneWhenTheSortedOneWouldLoadDifferently)
{
    // Two entries for one key (a hand edit): the later value wins, so their order matters. Sorted, the
    // store would read "second" where it now reads "first".
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES>\r\n"
                             "  <VALUE name=\"b_name\" val=\"Moulder\"/>\r\n"
                             "  <VALUE name=\"a_name\" val=\"second\"/>\r\n"
                             "  <VALUE name=\"A_name\" val=\"first\"/>\r\n"
                             "</PROPERTIES>\r\n";
    vurtest::writeFile (file(), text);
    sort_cfg_file (file());
    EXPECT_EQ (vurtest::readFile (file()), text);
}
} // namespace
