// A reading thread that cannot go on says so on the device's chart, whatever stopped it.

#include "app_fixture.h"
#include "src-wnd/tabcanvas.h"

namespace
{
using ReadingEnd = vurtest::AppFixture;

TEST_F (ReadingEnd, AThreadThatEndsOnAnUnusableSettingIsShownOnTheChart)
{
    // An interval that is no number ends the thread before it reads anything.
    add_device ("p", "COM77");
    app->cfg->set_str ("p_interval_ms", "often");
    app->cfg->set_str ("p_chart_redraw_ms", "0");
    auto canvas = std::make_unique<TabCanvas> ("p");
    ASSERT_TRUE (pump_until ([&] { return ! canvas->isThreadRunning(); }));
    {
        const juce::ScopedLock guard (canvas->lock);
        ASSERT_EQ (canvas->error_messages.size(), 1u);
        EXPECT_EQ (canvas->error_messages[0].rfind ("the device is no longer read: ", 0), 0u) << canvas->error_messages[0];
    }
    canvas.reset();
}
} // namespace
