#include "src-wnd/read_only_editor.h"

namespace
{
// The editor's listener is a private member of the framework's class. Naming a member in an explicit
// instantiation is exempt from access checks, so this is how its pointer-to-member is reached without
// touching the framework's headers; if the framework renames it, this stops compiling instead of misbehaving.
struct EditorsDesktopListener
{
    friend constexpr auto member_of (EditorsDesktopListener);
};

template <typename Tag, auto Member>
struct PrivateMember
{
    friend constexpr auto member_of (Tag) { return Member; }
};

template struct PrivateMember<EditorsDesktopListener, &juce::TextEditor::globalMouseListener>;
} // namespace

void leave_desktop_mouse_watch (juce::TextEditor& editor)
{
    jassert (editor.isReadOnly());
    const auto* listener = &(editor.*member_of (EditorsDesktopListener {}));
    // An explicit conversion to a base class is allowed even where the inheritance is private. Removing it
    // again when the editor is destroyed finds nothing and does nothing.
    juce::Desktop::getInstance().removeGlobalMouseListener ((juce::MouseListener*) listener);
}
