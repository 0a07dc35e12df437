#pragma once
// The confirmations of the main window's destructive commands: delete the selected items, clear
// the library, delete a group. Each names what will go, offers the destructive button and
// "Cancel", and runs its store operation only when the destructive button was pressed.

class QMessageBox;

namespace vesk {

class VeskStore;
class MainWindowState;

// "Delete n Vesk(s)?" for the store's selection at the moment the button is pressed.
QMessageBox* makeDeleteConfirmation(VeskStore& store);
// "Clear the entire Vesk library?"
QMessageBox* makeClearLibraryConfirmation(VeskStore& store);
// "Delete this group?" for the window state's pending group.
QMessageBox* makeDeleteGroupConfirmation(VeskStore& store, MainWindowState& state);

} // namespace vesk
