#pragma once

// A channel's figures are shown in read-only text editors, so that an operator can select and copy them.
//
// The framework's text editor puts itself on the desktop's list of listeners to every mouse event anywhere,
// for one case only: an on-screen keyboard that a click outside the editor should put away. While that list
// is not empty, the desktop asks the display server where the mouse is ten times a second, at rest as much
// as in use: with a window full of figures, the largest part of what the window cost at rest. A read-only
// editor never has text input active, so that keyboard never opens for it, and it can leave the list.
// Selecting, copying and its menu work as before; tooltips watch the mouse only while it moves.

#include <juce_gui_basics/juce_gui_basics.h>

// Message thread. For an editor that stays read-only.
void leave_desktop_mouse_watch (juce::TextEditor& read_only_editor);
