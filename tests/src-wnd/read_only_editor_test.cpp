// A channel's figures in read-only editors: at rest nothing asks the display where the mouse is, and the
// operator can still select and copy a figure.

#include "device_tab_fixture.h"
#include "src-wnd/read_only_editor.h"

namespace
{
using ReadOnlyEditorTest = vurtest::DeviceTabFixture;

// The desktop's poll of the mouse position runs as the desktop's own timer, while anything listens to every
// mouse event. The timer is a private base of the desktop: an explicit conversion reaches it.
bool desktop_polls_the_mouse()
{
    return ((juce::Timer*) &juce::Desktop::getInstance())->isTimerRunning();
}
} // namespace

TEST_F (ReadOnlyEditorTest, FiguresLeaveTheDesktopsMousePollAndStaySelectable)
{
    ASSERT_FALSE (desktop_polls_the_mouse()) << "something outside this test watches the mouse";
    {
        // The probe sees what a plain editor does to the desktop, and what leaving does.
        juce::TextEditor plain;
        plain.setReadOnly (true);
        EXPECT_TRUE (desktop_polls_the_mouse());
        leave_desktop_mouse_watch (plain);
        EXPECT_FALSE (desktop_polls_the_mouse());
    }
    EXPECT_FALSE (desktop_polls_the_mouse()) << "an editor that left must not bring the poll back as it goes";

    // A channel with its 26 figures.
    auto& canvas = make_canvas ("a");
    add_boards (canvas, { { 14.2, 3 } });
    canvas.update_status();
    EXPECT_FALSE (desktop_polls_the_mouse());

    // What an operator does with a figure: select it all and copy it.
    auto& figure = canvas.run_boards_value;
    ASSERT_EQ (figure.getText(), "3");
    figure.selectAll();
    EXPECT_EQ (figure.getHighlightedText(), "3");
    figure.copy();
    EXPECT_EQ (juce::SystemClipboard::getTextFromClipboard(), "3");
    EXPECT_EQ (figure.getText(), "3") << "a read-only figure stays as it was";
}
