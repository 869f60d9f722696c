// Device discovery and the per-device defaults, as the load sequence runs them on the configuration file
// it finds.

#include "app_fixture.h"
#include "src-vur/loadwnd.h"
#include "src-vur/sort_cfg_file.h"

#include <map>
#include <optional>
#include <utility>

namespace
{
using DeviceDiscovery = vurtest::AppFixture;

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string config_text (const Entries& entries)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES>\r\n";
    for (const auto& [key, value] : entries)
        text += "  <VALUE name=\"" + key + "\" val=\"" + value + "\"/>\r\n";
    return text + "</PROPERTIES>\r\n";
}

TEST_F (DeviceDiscovery, DevicesAndTheirDefaultsFollowTheKeysOfTheFile)
{
    const std::string long_prefix = "planer_number_one_on_infeed_line"; // 32 characters
    const struct
    {
        const char* what;
        Entries file;
        bool second_start; // after a first start on the file and its shutdown sort
        std::vector<std::string> prefixes;
        // Values after the load; nullopt: the key must be missing.
        std::map<std::string, std::optional<std::string>> expected;
    } cases[] = {
        { "one device key: that device alone, with every default",
          { { "x_device", "com9" } }, false, { "x" },
          { { "x_device", "com9" }, { "x_name", "Unknown" }, { "x_interval_ms", "250" }, { "x_chart_redraw_ms", "1000" },
            { "x_read_len", "11" }, { "x_last_pkg", "1" }, { "x_opc_via_csv_filename", "" }, { "a_device", std::nullopt } } },
        { "no device key: the four fallback devices replace only the names",
          { { "a_name", "Old planer" }, { "a_interval_ms", "500" }, { "d_name", "Old spare" } }, false, { "a", "b", "c", "d" },
          { { "a_device", "com4" }, { "b_device", "com5" }, { "c_device", "com6" }, { "d_device", "com7" },
            { "a_name", "Planer #1" }, { "b_name", "Planer #2" }, { "c_name", "Moulder" }, { "d_name", "Spare" },
            { "a_interval_ms", "500" }, { "b_interval_ms", "250" } } },
        { "a key in capitals is no device; the fallback writes over its value",
          { { "A_DEVICE", "/dev/ttyS3" } }, false, { "a", "b", "c", "d" }, { { "a_device", "com4" } } },
        { "a longer prefix", { { "planer1_device", "com3" } }, false, { "planer1" },
          { { "planer1_name", "Unknown" }, { "planer1_comm_str", "baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off" } } },
        { "the empty prefix", { { "_device", "com1" } }, false, { "" },
          { { "_name", "Unknown" }, { "_interval_ms", "250" }, { "_regex_pattern", "\\s*([\\d.]{4})\\s+([\\d.]{4})\\s*" } } },
        { "a prefix long enough to spread keys over two lines of the file",
          { { long_prefix + "_device", "com2" } }, true, { long_prefix },
          { { long_prefix + "_device", "com2" }, { long_prefix + "_last_kiln", "1" }, { long_prefix + "_opc_via_csv_filename", "" },
            { long_prefix + "_opc_via_csv_regex", "^\\s*\"(.+)\",([0-9]+)$" }, { "a_device", std::nullopt } } },
        { "obsolete keys go, the line settings come",
          { { "a_device", "com4" }, { "a_speed", "9600" }, { "a_stop_bits", "1" }, { "a_data_bits", "8" }, { "a_parity_bits", "N" } },
          false, { "a" },
          { { "a_speed", std::nullopt }, { "a_stop_bits", std::nullopt }, { "a_data_bits", std::nullopt },
            { "a_parity_bits", std::nullopt }, { "a_comm_str", "baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off" } } },
        { "first start: the order the keys were made in",
          { { "d_device", "com7" }, { "C_device", "com6" }, { "b_device", "com5" } }, false, { "d", "C", "b" }, {} },
        { "second start: the order of the sorted file",
          { { "d_device", "com7" }, { "C_device", "com6" }, { "b_device", "com5" } }, true, { "b", "C", "d" }, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const std::string file = cfg_dir + "/DuvidudUvereverOzure.cfg";
        const auto start = [&] {
            app->cfg.reset();
            app->cfg = std::make_unique<Cfg> (app->startup_errors);
            LoadWnd load_window;
            load_window.discover_devices();
            load_window.set_device_defaults();
        };
        app->cfg.reset();
        vurtest::writeFile (file, config_text (c.file));
        start();
        if (c.second_start)
        {
            // The framework writes the file, long keys over two lines; shutdown sorts it.
            app->cfg.reset();
            sort_cfg_file (file);
            start();
        }
        ASSERT_TRUE (app->startup_errors.empty()) << app->startup_errors.front();

        EXPECT_EQ (app->device_prefixes, c.prefixes);
        for (const auto& [key, value] : c.expected)
        {
            if (value)
                EXPECT_EQ (app->cfg->get_str (key, "(missing)"), *value) << key;
            else
                EXPECT_FALSE (app->cfg->containsKey (juce::String (key))) << key;
        }
        // The store keeps a key's first spelling: a capitalised key is found, not doubled.
        const auto keys = app->cfg->get_keys();
        EXPECT_EQ (std::count_if (keys.begin(), keys.end(), [] (const std::string& k) { return juce::String (k).equalsIgnoreCase ("a_device"); }),
                   std::count (c.prefixes.begin(), c.prefixes.end(), "a"));
    }
}
} // namespace
