#include "app_fixture.h"
#include "pty_meter.h"
#include "src-wnd/tabcanvas.h"
#include "src-wnd/vodaze.h"


namespace
{
using SimulatedDevice = vurtest::AppFixture;

TEST_F (SimulatedDevice, CountsBoardsInTheMainWindow)
{
    vurtest::PtyMeter meter;
    ASSERT_TRUE (meter.is_open());
    add_device ("a", meter.path);
    app->cfg->set_str ("a_run_simulation", "true");
    app->wnd = app->make_main_window();
    auto* canvas = dynamic_cast<TabCanvas*> (app->wnd->notebook.getTabContentComponent (0));
    ASSERT_NE (canvas, nullptr);
    EXPECT_TRUE (pump_until ([&] {
        const juce::ScopedLock guard (canvas->lock);
        return canvas->run_values.size() >= 3;
    }));
    app->wnd.reset();
}
} // namespace
