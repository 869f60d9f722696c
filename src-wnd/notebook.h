#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The tabs of the main window, one device channel each; owns and deletes the channels.
class Notebook : public juce::TabbedComponent
{
public:
    Notebook();

    void currentTabChanged (int newCurrentTabIndex, const juce::String& newCurrentTabName) override;
    virtual void signal_pending_shutdown();
};
