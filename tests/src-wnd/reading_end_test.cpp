// A reading thread that cannot go on says so on the device's chart, whatever stopped it.

#include "app_fixture.h"
#include "src-wnd/tabcanvas.h"

namespace
{
using ReadingEnd = vurtest::AppFixture;

TEST_F (ReadingEnd, AThreadThatEndsOnAnUnusableSettingIsShownOnTheChart)
{
    // A device whose port key went missing: the thread ends before it reads anything.
    add_device ("p", "COM77");
    app->cfg->removeValue ("p_device");
    app->cfg->set_str ("p_chart_redraw_ms", "0");
    auto canvas = std::make_unique<TabCanvas> ("p");
    // The error record names its frames through DbgHelp on Windows, which takes its time under Wine the first
    // time.
    ASSERT_TRUE (pump_until ([&] { return ! canvas->isThreadRunning(); }, 120000));
    const auto errors = canvas->figures().error_messages;
    ASSERT_EQ (errors.size(), 1u);
    EXPECT_EQ (errors[0], "the device is no longer read: expected configuration to contain a key named \"p_device\"");
    canvas.reset();
}
} // namespace
