#pragma once

// An application object for shell tests: the parts of the system reach it through vur(), as they do in the
// running program, but nothing of its start-up runs. Each test gets its own configuration and record
// folders. The temporary folder is the test process's own: the log stream opens there once per
// process, so log_text() returns what was logged since the test began; other files left there by earlier
// tests (charts, OPC output) are removed when a test starts.

#include "src-cfg/cfg.h"
#include "src-vur/kmmapp.h"
#include "src-vur/lookandfeel.h"
#include "src-wnd/vodaze.h"
#include "test_env.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vurtest
{
class AppFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = makeTempDir ("app");
        tmp_dir = sandboxDir() + "/tmp";
        cfg_dir = folder + "/cfg";
        records_dir = folder + "/records";
        for (const auto& dir : { tmp_dir, cfg_dir, records_dir })
            std::filesystem::create_directories (dir);
        setTempDir (tmp_dir);
        vurtest::setEnv ("VUR_CONFIG_DIR", cfg_dir);

        // A death test's child shares the folder with its parent, which may hold some of these files open.
        if (GTEST_FLAG_GET (internal_run_death_test).empty())
        {
            std::error_code ignored;
            for (const auto& entry : std::filesystem::directory_iterator (tmp_dir))
                if (entry.path().filename() != "vur.log")
                    std::filesystem::remove_all (entry.path(), ignored);
        }
        log_offset = readTextFile (log_path()).size();

        app = std::make_unique<DERIzidirurodo>();
        app->look_and_feel = VEVAvevUzaVeri::create();
        app->cfg = std::make_unique<Cfg> (app->startup_errors);
        app->cfg->set_str ("output_directory", records_dir + "/%Y/");
        app->cfg->set_str ("opc_console_application", "no-such-opc-console-program");
    }

    void TearDown() override
    {
        if (app != nullptr)
        {
            app->wnd.reset();
            app->cfg.reset();
            juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
            app->look_and_feel.reset();
            app.reset();
        }
    }

    // Writes the per-device defaults for a device on the given port, as the load sequence does (with quick
    // passes and refreshes), and adds it to the device list.
    void add_device (const std::string& prefix, const std::string& port, const std::string& name = "Test meter")
    {
        auto& cfg = *app->cfg;
        cfg.set_str (prefix + "_device", port);
        cfg.set_str (prefix + "_name", name);
        cfg.set_default (prefix + "_interval_ms", 50);
        cfg.set_default (prefix + "_chart_redraw_ms", 100);
        cfg.set_device_defaults (prefix);
        app->device_prefixes.push_back (prefix);
    }

public:
    // Runs the message loop until the condition holds or the time is up; true when it held.
    static bool pump_until (const std::function<bool()>& condition, int timeout_ms = 10000)
    {
        const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32> (timeout_ms);
        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return false;
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
        }
        return true;
    }

    static void pump_for (int ms)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
    }

    // Runs the message loop until every message posted before this call has been handled: a marker posted
    // now is delivered only after them. True when the marker came within the time.
    static bool pump_pending (int timeout_ms = 10000)
    {
        const auto delivered = std::make_shared<std::atomic<bool>> (false);
        juce::MessageManager::callAsync ([delivered] { *delivered = true; });
        return pump_until ([delivered] { return delivered->load(); }, timeout_ms);
    }

    // The message boxes on the screen, open or dismissed and not yet deleted.
    static int boxes_on_screen()
    {
        auto& desktop = juce::Desktop::getInstance();
        int count = 0;
        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (dynamic_cast<juce::AlertWindow*> (desktop.getComponent (i)) != nullptr)
                ++count;
        return count;
    }

    // Dismisses every open box as its button would, and waits until the boxes are gone and what their
    // dismissal set going has run, so that nothing of them reaches the next test.
    static void close_boxes()
    {
        juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
        EXPECT_TRUE (pump_until ([] { return boxes_on_screen() == 0; })) << boxes_on_screen() << " boxes stay on the screen";
        EXPECT_TRUE (pump_pending());
    }

protected:
    static std::string log_path() { return sandboxDir() + "/tmp/vur.log"; }
    // What was logged since this test began.
    std::string log_text() const
    {
        const std::string all = readTextFile (log_path());
        return all.size() > log_offset ? all.substr (log_offset) : std::string();
    }

    std::unique_ptr<DERIzidirurodo> app;
    std::string folder, tmp_dir, cfg_dir, records_dir;
    std::size_t log_offset = 0;
};
} // namespace vurtest
