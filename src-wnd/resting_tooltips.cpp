#include "src-wnd/resting_tooltips.h"

RestingTooltips::RestingTooltips (juce::Component& w, int milliseconds_before_tip, int rest)
    : window (w), tip_delay_ms (milliseconds_before_tip), rest_ms (rest)
{
    // Events of the window and everything in it arrive as the mouse moves; nothing asks where it is.
    window.addMouseListener (this, true);
}

RestingTooltips::~RestingTooltips()
{
    window.removeMouseListener (this);
    stopTimer();
}

void RestingTooltips::moved (const juce::MouseEvent& e, bool entered)
{
    const auto position = e.getScreenPosition().toFloat();
    if (! entered && position == last_position)
        return;
    last_position = position;
    last_movement = juce::Time::getMillisecondCounter();
    if (tips != nullptr)
        return;
    tips = std::make_unique<juce::TooltipWindow> (nullptr, tip_delay_ms);
    startTimer (juce::jmax (100, rest_ms / 3));
}

void RestingTooltips::timerCallback()
{
    // A tip that shows stays, and follows its text as the tooltip window makes it do.
    if (tips == nullptr || tips->isVisible())
        return;
    if (juce::Time::getMillisecondCounter() - last_movement < static_cast<juce::uint32> (rest_ms))
        return;
    tips.reset();
    stopTimer();
}
