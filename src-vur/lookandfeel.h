#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The system's colours: light green windows, white fields, black text, dark grey selection.
class VEVAvevUzaVeri : public juce::LookAndFeel_V4
{
public:
    static juce::LookAndFeel_V4::ColourScheme colour_scheme();

    // Builds the look and feel and installs it as the framework's default; the caller owns it.
    static std::unique_ptr<VEVAvevUzaVeri> create();

    VEVAvevUzaVeri();
};
