#include "app_fixture.h"
#include "src-wnd/tabcanvas.h"
#include "src-wnd/vodaze.h"

#include <pty.h>
#include <unistd.h>

namespace
{
using SimulatedDevice = vurtest::AppFixture;

TEST_F (SimulatedDevice, CountsBoardsInTheMainWindow)
{
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ (openpty (&master, &slave, name, nullptr, nullptr), 0);
    add_device ("a", name);
    app->cfg->set_str ("a_run_simulation", "true");
    app->wnd = std::make_unique<VODAze>();
    auto* canvas = dynamic_cast<TabCanvas*> (app->wnd->notebook.getTabContentComponent (0));
    ASSERT_NE (canvas, nullptr);
    EXPECT_TRUE (pump_until ([&] {
        const juce::ScopedLock guard (canvas->lock);
        return canvas->run_values.size() >= 3;
    }));
    app->wnd.reset();
    close (slave);
    close (master);
}
} // namespace
