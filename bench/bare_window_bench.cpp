// The reference for bench/idle_cpu.py: an empty window of the framework, the size of the monitor's, and
// nothing else. What it costs at rest on a display is the framework's own share of the monitor's idle load
// (its repaint pacing at the display's refresh rate); the script kills it when done.

#include <juce_gui_basics/juce_gui_basics.h>

int main()
{
    // Set up the windowing system as for an application (its error handlers, thread support).
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI framework;
    juce::DocumentWindow window ("bare window", juce::Colours::lightgrey, juce::DocumentWindow::allButtons);
    window.setUsingNativeTitleBar (true);
    window.setBounds (40, 40, 900, 600);
    window.setVisible (true);
    juce::MessageManager::getInstance()->runDispatchLoop();
    return 0;
}
