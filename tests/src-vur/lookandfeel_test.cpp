#include "app_fixture.h"
#include "src-vur/lookandfeel.h"
#include "src-wnd/vodaze.h"

namespace
{
using LookAndFeel = vurtest::AppFixture;
using UI = juce::LookAndFeel_V4::ColourScheme::UIColour;

const juce::Colour light_green (204, 221, 204);
const juce::Colour dark_grey (64, 64, 64);

TEST_F (LookAndFeel, SchemeColoursReachTheComponentsThroughTheDefaultLookAndFeel)
{
    auto& installed = juce::LookAndFeel::getDefaultLookAndFeel();
    ASSERT_EQ (&installed, app->look_and_feel.get());

    const struct
    {
        UI ui;
        juce::Colour colour;
    } scheme[] = {
        { UI::windowBackground, light_green },       { UI::widgetBackground, juce::Colours::white },
        { UI::menuBackground, juce::Colours::white }, { UI::outline, juce::Colours::black },
        { UI::defaultText, juce::Colours::black },    { UI::defaultFill, juce::Colours::black },
        { UI::highlightedText, juce::Colours::white }, { UI::highlightedFill, dark_grey },
        { UI::menuText, juce::Colours::black },
    };
    const auto current = app->look_and_feel->getCurrentColourScheme();
    for (const auto& c : scheme)
    {
        EXPECT_EQ (current.getUIColour (c.ui), c.colour) << static_cast<int> (c.ui);
        EXPECT_EQ (VEVAvevUzaVeri::colour_scheme().getUIColour (c.ui), c.colour) << static_cast<int> (c.ui);
    }

    const struct
    {
        int id;
        juce::Colour colour;
        const char* what;
    } components[] = {
        { juce::ResizableWindow::backgroundColourId, light_green, "window background" },
        { juce::TextEditor::backgroundColourId, juce::Colours::white, "text editor" },
        { juce::TextEditor::textColourId, juce::Colours::black, "text editor text" },
        { juce::Label::textColourId, juce::Colours::black, "label text" },
        { juce::AlertWindow::backgroundColourId, juce::Colours::white, "message box" },
        { juce::AlertWindow::textColourId, juce::Colours::black, "message box text" },
        { juce::TooltipWindow::backgroundColourId, dark_grey, "tooltip" },
        { juce::TooltipWindow::textColourId, juce::Colours::white, "tooltip text" },
    };
    for (const auto& c : components)
        EXPECT_EQ (installed.findColour (c.id), c.colour) << c.what;
}

TEST_F (LookAndFeel, MainWindowBackgroundIsTheSchemesWindowBackground)
{
    add_device ("a", "/dev/vur-no-such-port");
    app->wnd = app->make_main_window();
    EXPECT_EQ (app->wnd->getBackgroundColour(), light_green);
}
} // namespace
