#include "src-wnd/notebook.h"

#include "src-log/log.h"
#include "src-wnd/tabcanvas.h"
#include "src-wnd/vodaze.h"

Notebook::Notebook() : juce::TabbedComponent (juce::TabbedButtonBar::TabsAtTop) {}

void Notebook::currentTabChanged (int newCurrentTabIndex, const juce::String&)
{
    const juce::Colour baseColour = VODAze::tab_base_colour();
    const juce::Colour currentColour = VODAze::current_tab_colour();

    for (int i = 0; i < getNumTabs(); ++i)
    {
        auto* canvas = dynamic_cast<TabCanvas*> (getTabContentComponent (i));
        if (i == newCurrentTabIndex)
        {
            setTabBackgroundColour (i, currentColour);
            if (canvas != nullptr)
            {
                canvas->is_active_tab = true;
                canvas->update_status();
            }
        }
        else
        {
            if (canvas != nullptr)
                canvas->is_active_tab = false;
            setTabBackgroundColour (i, baseColour);
        }
    }
}

void Notebook::signal_pending_shutdown()
{
    for (int i = 0; i < getNumTabs(); ++i)
    {
        if (auto* canvas = dynamic_cast<TabCanvas*> (getTabContentComponent (i)))
        {
            log_line ("prefix=" + canvas->prefix + ": signaling thread of pending shutdown");
            canvas->signalThreadShouldExit();
        }
    }
}
