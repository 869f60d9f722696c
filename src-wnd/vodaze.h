#pragma once

// The main window: the device notebook, the OPC console child and the window-level error texts.

#include "src-base/platform/child_process.h"
#include "src-wnd/board_history_link.h"
#include "src-wnd/notebook.h"
#include "src-wnd/resting_tooltips.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <string>
#include <vector>

class VODAze : public juce::DocumentWindow, private juce::Timer
{
public:
    // What the window asks of the application that built it.
    struct Actions
    {
        std::function<void()> show_about; // F1
        std::function<void()> shut_down;  // the close button, where the settings allow closing
    };

    // One tab per device prefix, in this order. The settings come from the configuration store (cfg_store()).
    VODAze (const std::vector<std::string>& device_prefixes, Actions actions);
    ~VODAze() override;

    bool keyPressed (const juce::KeyPress& key) override;
    void closeButtonPressed() override;

    // The colour of the tabs that are not selected, and the selected tab's stronger shade of it.
    static juce::Colour tab_base_colour();
    static juce::Colour current_tab_colour();

    // Made before the channels and destroyed after them, so that every board they count reaches it.
    BoardHistoryLink board_history;
    Notebook notebook;
    std::vector<std::string> error_messages;
    Ziz::sys::ChildProcess opc_console_process;
    // The tabs' tooltips (their figures' ages), shown 700 ms after the mouse stops over a field.
    RestingTooltips tooltips { *this, 700 };

private:
    Actions actions;

    // How often the window looks whether the OPC console has ended.
    static constexpr int console_watch_ms = 1000;
    void timerCallback() override;
    void restore_placement (const juce::String& placement);
    void start_opc_console (const juce::File& executableFolder, const juce::File& cfgFile);
    // Kills the console and releases it, when one was started.
    void terminate_opc_console();
    // Devices that would overwrite each other's record files are named once, in the log and on their charts.
    void warn_of_shared_record_files();
};
