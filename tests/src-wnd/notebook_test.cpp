#include "app_fixture.h"
#include "src-wnd/tabcanvas.h"
#include "src-wnd/vodaze.h"

#include <string>

namespace
{
using DeviceNotebook = vurtest::AppFixture;

const juce::Colour selected_colour (187, 221, 187);
const juce::Colour plain_colour (204, 221, 204);

TEST_F (DeviceNotebook, OneTabPerDeviceAndTheHighlightFollowsTheSelection)
{
    add_device ("a", "/dev/vur-no-such-port-a", "Planer in");
    add_device ("b", "/dev/vur-no-such-port-b", "Planer out");
    add_device ("c", "/dev/vur-no-such-port-c", "Moulder");
    app->wnd = app->make_main_window();
    auto& notebook = app->wnd->notebook;

    ASSERT_EQ (notebook.getNumTabs(), 3);
    EXPECT_EQ (notebook.getTabNames(), juce::StringArray ({ "Planer in", "Planer out", "Moulder" }));
    EXPECT_EQ (VODAze::tab_base_colour(), plain_colour);
    EXPECT_EQ (VODAze::current_tab_colour(), selected_colour);

    for (const int selected : { -1, 2, 0, 1 }) // -1: as the window was built
    {
        SCOPED_TRACE (selected);
        if (selected >= 0)
            notebook.setCurrentTabIndex (selected);
        const int current = std::max (selected, 0);
        EXPECT_EQ (notebook.getCurrentTabIndex(), current);
        for (int i = 0; i < notebook.getNumTabs(); ++i)
        {
            auto* canvas = dynamic_cast<TabCanvas*> (notebook.getTabContentComponent (i));
            ASSERT_NE (canvas, nullptr);
            EXPECT_EQ (canvas->prefix, std::string (1, static_cast<char> ('a' + i)));
            EXPECT_EQ (canvas->is_active_tab, i == current) << i;
            EXPECT_EQ (notebook.getTabBackgroundColour (i), i == current ? selected_colour : plain_colour) << i;
        }
    }
}

TEST_F (DeviceNotebook, PendingShutdownIsSignalledToEveryDeviceThread)
{
    add_device ("a", "/dev/vur-no-such-port-a");
    add_device ("b", "/dev/vur-no-such-port-b");
    app->wnd = app->make_main_window();
    auto& notebook = app->wnd->notebook;

    app->wnd->notebook.signal_pending_shutdown();

    const std::string log = log_text();
    for (int i = 0; i < notebook.getNumTabs(); ++i)
    {
        auto* canvas = dynamic_cast<TabCanvas*> (notebook.getTabContentComponent (i));
        ASSERT_NE (canvas, nullptr);
        EXPECT_TRUE (canvas->threadShouldExit());
        EXPECT_NE (log.find ("prefix=" + canvas->prefix + ": signaling thread of pending shutdown"), std::string::npos);
    }
}
TEST_F (DeviceNotebook, AnUnusablePatternIsShownOnItsOwnTabAndCostsNoOtherTab)
{
    const struct
    {
        const char* suffix;
        bool needs_csv_file;
    } cases[] = { { "_opc_via_csv_regex", true }, { "_regex_pattern", false } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.suffix);
        app->wnd.reset();
        app->device_prefixes.clear();
        add_device ("a", "/dev/vur-no-such-port-a", "Planer in");
        add_device ("b", "/dev/vur-no-such-port-b", "Planer out");
        if (c.needs_csv_file)
            app->cfg->set_str ("a_opc_via_csv_filename", folder + "/numbers.csv");
        app->cfg->set_str (std::string ("a") + c.suffix, "([unclosed");

        app->run (DERIzidirurodo::job_main_window);
        ASSERT_NE (app->wnd, nullptr);
        auto& notebook = app->wnd->notebook;
        ASSERT_EQ (notebook.getNumTabs(), 2);
        EXPECT_EQ (notebook.getTabNames(), juce::StringArray ({ "Planer in", "Planer out" }));

        const std::string reason = std::string ("a") + c.suffix + " \"([unclosed\" cannot be used: ";
        const auto messages_of = [&] (int tab) {
            auto& canvas = dynamic_cast<TabCanvas&> (*notebook.getTabContentComponent (tab));
            std::string all;
            for (const auto& message : canvas.figures().error_messages)
                all += message + "\n";
            return all;
        };
        // The meter's pattern is read by the device's thread.
        EXPECT_TRUE (pump_until ([&] { return messages_of (0).find (reason) != std::string::npos; })) << messages_of (0);
        EXPECT_EQ (messages_of (1).find ("cannot be used"), std::string::npos) << messages_of (1);
        EXPECT_NE (log_text().find (reason), std::string::npos);

        app->cfg->set_str (std::string ("a") + c.suffix, app->cfg->get_str (std::string ("b") + c.suffix));
    }
}
TEST_F (DeviceNotebook, EveryDeviceGetsItsOwnTabButtonWhateverItsName)
{
    const struct
    {
        const char* prefix;
        const char* name; // nullptr: no name setting
        const char* shown;
    } devices[] = {
        { "a", "Planer in", "Planer in" },
        { "b", "", "b" },
        { "c", nullptr, "c" },
        { "", "", "Unknown" },
        { "d", "Moulder", "Moulder" },
    };
    juce::StringArray expected;
    for (const auto& d : devices)
    {
        add_device (d.prefix, std::string ("/dev/vur-no-such-port-") + d.prefix);
        if (d.name != nullptr)
            app->cfg->set_str (std::string (d.prefix) + "_name", d.name);
        else
            app->cfg->removeValue (std::string (d.prefix) + "_name");
        expected.add (d.shown);
    }
    app->wnd = app->make_main_window();
    auto& notebook = app->wnd->notebook;

    // One button per tab content, in order, so that each tab shows its own device.
    EXPECT_EQ (notebook.getTabbedButtonBar().getNumTabs(), 5);
    EXPECT_EQ (notebook.getTabNames(), expected);
    for (int i = 0; i < notebook.getNumTabs(); ++i)
    {
        auto& canvas = dynamic_cast<TabCanvas&> (*notebook.getTabContentComponent (i));
        EXPECT_EQ (canvas.prefix, devices[i].prefix) << i;
        EXPECT_EQ (app->cfg->shown_name (canvas.prefix), devices[i].shown) << i;
    }
}
} // namespace
