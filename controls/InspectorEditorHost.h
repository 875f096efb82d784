// TInspectorEditorHost: what the inspector's in-place editors may ask of the control that shows
// them.
#pragma once

#include <Qt>

class QKeyEvent;

namespace controls {

// The few calls an in-place editor makes back into its inspector. The inspector implements it;
// an editor keeps a pointer to it for its whole life (the inspector owns the editor).
class TInspectorEditorHost {
public:
    // The may-edit check of a key that would change the current row; throws what the record
    // set raises when it cannot go into edit mode.
    virtual bool canEditCurrentRow() = 0;
    // A key pressed in the text editor: true when the inspector consumed it.
    virtual bool editorKeyPress(QKeyEvent* event) = 0;
    // A row key (Tab, Enter, Ctrl+arrows) that the editor passes on to the inspector.
    virtual void routeKey(int key, Qt::KeyboardModifiers modifiers) = 0;
    // Esc: the row's typed value is discarded.
    virtual void revertCurrentRow() = 0;
    // The sound of a refused key.
    virtual void beep() = 0;

protected:
    ~TInspectorEditorHost() = default;
};

} // namespace controls
