#include "app_fixture.h"
#include "meter.h"
#include "src-wnd/tabcanvas.h"
#include "src-wnd/vodaze.h"


namespace
{
using SimulatedDevice = vurtest::AppFixture;

TEST_F (SimulatedDevice, CountsBoardsInTheMainWindow)
{
    vurtest::Meter meter;
    ASSERT_TRUE (meter.is_open()) << vurtest::meter_problem (meter);
    add_device ("a", meter.path);
    app->cfg->set_str ("a_run_simulation", "true");
    app->wnd = app->make_main_window();
    auto* canvas = dynamic_cast<TabCanvas*> (app->wnd->notebook.getTabContentComponent (0));
    ASSERT_NE (canvas, nullptr);
    EXPECT_TRUE (pump_until ([&] { return canvas->figures().run_count >= 3; }));
    app->wnd.reset();
}
} // namespace
