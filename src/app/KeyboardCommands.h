#pragma once
// The grid's keyboard commands: which key does what is a pure decision (keyCommandFor); the
// commands themselves move and commit the selection, open or copy the focused item, toggle the
// quick preview, clear things with Escape, ask to delete, and select all.

#include <QString>
#include <Qt>

class QKeyEvent;

namespace vesk {

class MainWindow;
class VeskQuickLookController;

enum class KeyCommand {
    PassThrough,
    OpenOrCopy,
    EnsureSelection,
    Escape,
    MoveForward,
    MoveBackward,
    QuickLook,
    ConfirmDelete,
    SelectAllVisible,
};

struct KeyContext {
    // A modal window (sheet, confirmation, alert) is open, or the key belongs to another window:
    // every key is left to it.
    bool otherWindowHasTheKey = false;
    bool searchFieldFocused = false;
    // An editable text other than the search field has the focus (a note being written).
    bool editableTextFocused = false;
    bool hasMultiSelection = false;
};

// Control stands in for the other platform's Command key.
KeyCommand keyCommandFor(int key, Qt::KeyboardModifiers modifiers, const KeyContext& context);

// Runs the commands against the main window's store and state.
class KeyboardCommands {
public:
    KeyboardCommands(MainWindow& window, VeskQuickLookController& quickLook);

    // The key-down monitor's handler: true consumes the event.
    bool handleKeyDown(QKeyEvent* event);
    bool run(KeyCommand command);

    void openOrCopyTargetedItem();
    void moveSelection(int delta);
    void ensureSelection();
    void quickLookTargetedItem();
    void handleEscapeKey();

private:
    KeyContext contextFor(QKeyEvent* event) const;

    MainWindow& m_window;
    VeskQuickLookController& m_quickLook;
};

} // namespace vesk
