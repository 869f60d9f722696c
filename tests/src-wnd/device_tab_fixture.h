#pragma once

// Device channels made directly, without a main window, each on a meter line of its own that stays silent unless
// the test plays the meter on it: the test fills their buckets and calls their operations itself, on the
// message thread (the test's own thread). Warning boxes left open by a test are closed before its channels go.

#include "app_fixture.h"
#include "meter.h"
#include "src-wnd/tabcanvas.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace vurtest
{
class DeviceTabFixture : public AppFixture
{
protected:
    void TearDown() override
    {
        close_boxes();
        // A silent port keeps a read waiting for its whole time-out (10 ms a byte asked for): one byte ends it.
        for (auto& canvas : canvases)
            canvas->signalThreadShouldExit();
        for (const auto& p : ptys)
            p->send ("\n");
        canvases.clear();
        ptys.clear();
        AppFixture::TearDown();
    }

    // A device on a fresh meter line that stays silent; its channel does not refresh by itself.
    void add_quiet_device (const std::string& prefix, const std::string& name = "Test meter")
    {
        ptys.push_back (std::make_unique<Meter>());
        ASSERT_TRUE (ptys.back()->is_open()) << meter_problem (*ptys.back());
        add_device (prefix, ptys.back()->path, name);
        app->cfg->set_str (prefix + "_chart_redraw_ms", "0");
    }

    // The channel of a device added before.
    TabCanvas& open_canvas (const std::string& prefix)
    {
        canvases.push_back (std::make_unique<TabCanvas> (prefix));
        return *canvases.back();
    }

    TabCanvas& make_canvas (const std::string& prefix, const std::string& name = "Test meter", bool export_image = false)
    {
        add_quiet_device (prefix, name);
        app->cfg->set_str (prefix + "_export_image", export_image ? "true" : "false");
        return open_canvas (prefix);
    }

    // The meter of the n-th device, which a test plays.
    const Meter& meter (std::size_t n = 0) const { return *ptys.at (n); }

    // Adds boards to the package (and so to the run), as the reading loop does.
    static void add_boards (TabCanvas& canvas, std::initializer_list<std::pair<double, int>> value_counts)
    {
        canvas.change ([&] (ChannelState& state) {
            for (const auto& [value, count] : value_counts)
                for (int i = 0; i < count; ++i)
                {
                    state.run_bucket.add (value);
                    state.pkg_bucket.add (value);
                }
            state.run_bucket.recompute_average();
            state.pkg_bucket.recompute_average();
        });
    }

    static int open_boxes() { return juce::ModalComponentManager::getInstance()->getNumModalComponents(); }

    // The open warning box, if any.
    static juce::AlertWindow* open_box()
    {
        auto* manager = juce::ModalComponentManager::getInstance();
        for (int i = 0; i < manager->getNumModalComponents(); ++i)
            if (auto* box = dynamic_cast<juce::AlertWindow*> (manager->getModalComponent (i)))
                return box;
        return nullptr;
    }

    std::vector<std::unique_ptr<Meter>> ptys;
    std::vector<std::unique_ptr<TabCanvas>> canvases;
};
} // namespace vurtest
