#include "src-wnd/vodaze.h"

#include "src-base/core/ZizException.h"
#include "src-base/core/command_line.h"
#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-wnd/tabcanvas.h"
#include "src-wnd/core/record_sharing.h"
#include "src-wnd/refresh_tick.h"

#include <vector>

#include <VurImages.h>
#include <vur_version.h>

namespace
{
int title_bar_buttons (bool allowClose)
{
    return allowClose ? juce::DocumentWindow::allButtons
                      : juce::DocumentWindow::minimiseButton | juce::DocumentWindow::maximiseButton;
}

juce::Colour default_background()
{
    return juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId);
}
} // namespace

VODAze::VODAze (const std::vector<std::string>& device_prefixes, Actions window_actions)
    : juce::DocumentWindow (juce::String ("VUR v") + application_version, default_background(),
                            title_bar_buttons (cfg_store().get_bool ("allow_user_to_close", true)), true),
      actions (std::move (window_actions))
{
    auto& cfg = cfg_store();
    const juce::Colour tabColour = tab_base_colour();

    const juce::File executableFolder = juce::File::getSpecialLocation (juce::File::currentApplicationFile).getParentDirectory();
    const juce::File cfgFile = cfg.getFile();

    start_opc_console (executableFolder, cfgFile);

    try
    {
        for (const auto& prefix : device_prefixes)
        {
            const std::string name = cfg.shown_name (prefix);
            auto* canvas = new TabCanvas (prefix, cfg, &error_messages);
            notebook.addTab (juce::String::fromUTF8 (name.c_str()), tabColour, canvas, true, -1);
        }
    }
    catch (...)
    {
        // No destructor runs for a window that was never built, and the console must not outlive it.
        terminate_opc_console();
        throw;
    }

    warn_of_shared_record_files();

    setContentNonOwned (&notebook, false);
    centreWithSize (640, 480);
    setUsingNativeTitleBar (true);
    setResizable (true, true);
    setDropShadowEnabled (true);

    const auto icon = juce::ImageCache::getFromMemory (VurImages::icon_png, VurImages::icon_pngSize);
    setIcon (icon);
    if (auto* peer = getPeer())
        peer->setIcon (icon);

    if (cfg.containsKey ("VODAze"))
        restore_placement (cfg.getValue ("VODAze"));

    setVisible (true);
    startTimer (until_next_tick (console_watch_ms));
}

VODAze::~VODAze()
{
    stopTimer();

    // Without a store there is nowhere to keep the placement.
    if (auto* cfg = find_cfg_store())
        cfg->setValue ("VODAze", getWindowStateAsString());

    terminate_opc_console();

    clearContentComponent();
}

void VODAze::terminate_opc_console()
{
    if (opc_console_process.isValid())
    {
        log_line ("terminating OPC child process");
        opc_console_process.kill();
        opc_console_process.release();
    }
}

void VODAze::warn_of_shared_record_files()
{
    std::vector<TabCanvas*> canvases;
    std::vector<RecordDestination> destinations;
    for (int i = 0; i < notebook.getNumTabs(); ++i)
        if (auto* canvas = dynamic_cast<TabCanvas*> (notebook.getTabContentComponent (i)))
        {
            canvases.push_back (canvas);
            destinations.push_back (canvas->record_destination());
        }

    const auto show = [] (TabCanvas& canvas, const std::string& text) {
        canvas.change ([&text] (ChannelState& state) { state.error_messages.push_back (text); });
    };
    for (const auto& [first, second] : shared_record_destinations (destinations))
    {
        log_line (shared_records_log_line (destinations[first], destinations[second]));
        show (*canvases[first], shared_records_chart_text (destinations[first], destinations[second]));
        show (*canvases[second], shared_records_chart_text (destinations[second], destinations[first]));
    }
}

juce::Colour VODAze::tab_base_colour()
{
    // The application installs the system's look and feel as the framework's default before it opens windows.
    if (auto* lookAndFeel = dynamic_cast<juce::LookAndFeel_V4*> (&juce::LookAndFeel::getDefaultLookAndFeel()))
        return lookAndFeel->getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground);
    return default_background();
}

juce::Colour VODAze::current_tab_colour()
{
    return tab_base_colour().withMultipliedSaturation (2.0f);
}

void VODAze::restore_placement (const juce::String& placement)
{
    // A window that is not showing yet keeps the bounds it returns to from full screen only when it already
    // has them as its bounds: give it the placement without "fs" first, then the whole placement.
    juce::StringArray tokens;
    tokens.addTokens (placement, false);
    tokens.removeEmptyStrings();
    if (tokens.size() > 0 && tokens[0].startsWithIgnoreCase ("fs"))
    {
        tokens.remove (0);
        restoreWindowStateFromString (tokens.joinIntoString (" "));
    }
    restoreWindowStateFromString (placement);
}

void VODAze::start_opc_console (const juce::File& executableFolder, const juce::File& cfgFile)
{
    auto& cfg = cfg_store();
    // The console reads its settings from the file, once, as it starts: it must find what the store holds
    // now, not what it held at the last timed save.
    cfg.saveIfNeeded();

    // The application is taken as the user wrote it: it may carry its own quotes and arguments.
    const std::string commandLine = cfg.get_str ("opc_console_application") + " " + Ziz::quoteArgument (cfgFile.getFullPathName().toStdString());
    log_line ("starting OPC console: \"" + commandLine + "\"");

    Ziz::sys::ChildProcess::Options options;
    options.workingDirectory = executableFolder.getFullPathName().toStdString();
    options.searchWorkingDirectoryFirst = true;
    options.console = cfg.get_bool ("opc_show_console_window", true) ? Ziz::sys::ChildProcess::Console::ownWindow
                                                                     : Ziz::sys::ChildProcess::Console::none;
    options.consoleTitle = "VUR OPC Console";
    options.consoleFillAttribute = 10; // bright green on black
    // A console left behind by a crashed or killed monitor would keep writing numbers that nobody reads,
    // and hold the plant's OPC connection.
    options.endWithParent = true;

    if (! opc_console_process.start (commandLine, options))
    {
        error_messages.push_back ("Failed to start the OPC console application.");
        const Ziz::Exception record ("VODAze::VODAze", "src-wnd\\vodaze", 59, "failed to create child process for OPC console window");
        log_line (record.report());
    }
}

void VODAze::timerCallback()
{
    if (opc_console_process.isValid() && ! opc_console_process.hasEnded())
    {
        startTimer (until_next_tick (console_watch_ms));
        return;
    }

    error_messages.push_back ("OPC Console has failed.");
    stopTimer();
}

bool VODAze::keyPressed (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    const bool shift = key.getModifiers().isShiftDown();

    if (code == juce::KeyPress::F1Key)
    {
        if (actions.show_about)
            actions.show_about();
        return true;
    }
    if (code == juce::KeyPress::F2Key && shift)
    {
        cfg_store().getFile().revealToUser();
        return true;
    }
    if (code == juce::KeyPress::F4Key && shift)
    {
        juce::File (juce::String::fromUTF8 (get_log_filename().c_str())).startAsProcess ("");
        return true;
    }
    return false;
}

void VODAze::closeButtonPressed()
{
    if (cfg_store().get_bool ("allow_user_to_close", true) && actions.shut_down)
        actions.shut_down();
}
