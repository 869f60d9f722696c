#pragma once

// The progress window between the splash screen and the main window; its thread runs the loading sequence.

#include "src-vur/core/load_progress.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

class LoadWnd : public juce::ThreadWithProgressWindow
{
public:
    LoadWnd();
    ~LoadWnd() override;

    void run() override;

    virtual void update_progress (double units, const std::string& status);
    virtual std::string pick_status_message();
    virtual void get_version_number();
    virtual void get_motd();

    void discover_devices();
    void set_device_defaults();

    bool completed = false;
    // items_total and items_done: the units the load is expected to take and has taken.
    LoadProgress progress;

private:
    void run_sequence();
};
