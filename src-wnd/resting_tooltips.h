#pragma once

// Tooltips for a window that cost nothing while the mouse rests.
//
// The framework's tooltip window finds the mouse by asking the display server eight times a second, and as a
// global mouse listener it makes the desktop ask ten times a second more, whether the mouse moves or not: at
// rest that was the largest part of what the monitor costs. Here the tooltip window exists only while the
// mouse moves over the window or a tip shows. It is made at the first movement and let go once the mouse has
// rested for rest_ms with no tip showing; the next movement makes it again. The tips, and when they appear,
// are those of the framework's tooltip window.

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class RestingTooltips : private juce::MouseListener, private juce::Timer
{
public:
    RestingTooltips (juce::Component& window, int milliseconds_before_tip, int rest_ms = 3000);
    ~RestingTooltips() override;

    // Whether the tooltip window exists now (it watches the mouse only then).
    bool watching() const { return tips != nullptr; }

private:
    // A new field under the mouse may have a tip, wherever the mouse is.
    void mouseEnter (const juce::MouseEvent& e) override { moved (e, true); }
    // The framework also sends moves where nothing moved (after a change of the window's content): only a new
    // position counts, or the watch would never rest while the figures change.
    void mouseMove (const juce::MouseEvent& e) override { moved (e, false); }
    void mouseDrag (const juce::MouseEvent& e) override { moved (e, false); }
    void timerCallback() override;
    void moved (const juce::MouseEvent& e, bool entered);

    juce::Component& window;
    const int tip_delay_ms;
    const int rest_ms;
    std::unique_ptr<juce::TooltipWindow> tips;
    juce::uint32 last_movement = 0;
    juce::Point<float> last_position;
};
