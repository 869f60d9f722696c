#include "src-vur/lookandfeel.h"

juce::LookAndFeel_V4::ColourScheme VEVAvevUzaVeri::colour_scheme()
{
    return { juce::Colour (204, 221, 204), // windowBackground
             juce::Colours::white,         // widgetBackground
             juce::Colours::white,         // menuBackground
             juce::Colours::black,         // outline
             juce::Colours::black,         // defaultText
             juce::Colours::black,         // defaultFill
             juce::Colours::white,         // highlightedText
             juce::Colour (64, 64, 64),    // highlightedFill
             juce::Colours::black };       // menuText
}

VEVAvevUzaVeri::VEVAvevUzaVeri() : juce::LookAndFeel_V4 (colour_scheme()) {}

std::unique_ptr<VEVAvevUzaVeri> VEVAvevUzaVeri::create()
{
    auto lookAndFeel = std::make_unique<VEVAvevUzaVeri>();
    juce::LookAndFeel::setDefaultLookAndFeel (lookAndFeel.get());
    return lookAndFeel;
}
