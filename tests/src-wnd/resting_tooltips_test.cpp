// Tooltips that watch the mouse only while it moves or a tip shows.

#include "app_fixture.h"
#include "src-wnd/resting_tooltips.h"

#include <memory>

namespace
{
using RestingTooltipsTest = vurtest::AppFixture;

// A window on the screen with a field that has a tip and a field that has none.
struct TipWindow : juce::Component
{
    TipWindow()
    {
        with_tip.setTooltip ("the package was last updated 3 seconds ago");
        addAndMakeVisible (with_tip);
        addAndMakeVisible (without_tip);
        setBounds (100, 100, 400, 200);
        with_tip.setBounds (0, 0, 200, 200);
        without_tip.setBounds (200, 0, 200, 200);
        addToDesktop (juce::ComponentPeer::windowHasTitleBar);
        setVisible (true);
        // Tips show only for the application in front; without a window manager, focus is taken by hand.
        getPeer()->grabFocus();
    }
    ~TipWindow() override { removeFromDesktop(); }

    // The mouse moves to a point of the window, as the display reports a movement.
    void move_mouse_to (juce::Point<float> position)
    {
        getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, position, {}, juce::MouseInputSource::defaultPressure,
                                     juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
    }

    juce::Label with_tip;
    juce::Label without_tip;
};

bool tip_showing()
{
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* tip = dynamic_cast<juce::TooltipWindow*> (desktop.getComponent (i)); tip != nullptr && tip->isVisible())
            return true;
    return false;
}

TEST_F (RestingTooltipsTest, WatchTheMouseOnlyWhileItMovesOrATipShows)
{
#ifdef _WIN32
    // Under Wine the injected movement did not bring a tip within the test's time; the watch itself is the
    // same code on both systems and is tested here on Linux.
    GTEST_SKIP() << "the tip's appearance under Wine is not yet followed by this test";
#endif
    TipWindow window;
    RestingTooltips tooltips (window, 50, 300);
    pump_pending();
    EXPECT_FALSE (tooltips.watching()) << "nothing watches the mouse before it moves";

    // Over the field without a tip: watched while it moves, let go once it rests.
    window.move_mouse_to ({ 300.0f, 100.0f });
    EXPECT_TRUE (tooltips.watching());
    EXPECT_TRUE (pump_until ([&] { return ! tooltips.watching(); }, 5000));

    // The framework's own moves where the mouse stays (sent after the window's content changes) are no
    // movement: a tab whose figures change every second must not keep the watch awake.
    juce::Desktop::getInstance().getMainMouseSource().triggerFakeMove();
    pump_pending();
    EXPECT_FALSE (tooltips.watching());

    // Over the field with a tip: the tip comes and stays, and so does the watch, however long the mouse rests.
    window.move_mouse_to ({ 100.0f, 100.0f });
    ASSERT_TRUE (tooltips.watching());
    // Other test programs on the same display take the focus now and then, and a tip shows only for the
    // application in front: the window takes it back while it waits.
    const auto in_front = [&window] { window.getPeer()->grabFocus(); };
    ASSERT_TRUE (pump_until ([&] { in_front(); return tip_showing(); }, 5000));
    const auto shown_at = juce::Time::getMillisecondCounter();
    ASSERT_TRUE (pump_until ([&] { in_front(); return juce::Time::getMillisecondCounter() - shown_at > 1000; }));
    EXPECT_TRUE (tip_showing());
    EXPECT_TRUE (tooltips.watching());

    // Away from it: the tip goes, and once the mouse rests so does the watch.
    window.move_mouse_to ({ 300.0f, 100.0f });
    EXPECT_TRUE (pump_until ([&] { return ! tip_showing() && ! tooltips.watching(); }, 5000));
}
} // namespace
