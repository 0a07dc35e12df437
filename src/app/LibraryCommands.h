#pragma once
// What the main window's library prompts, confirmations and the cleanup sheet do when their
// buttons are pressed, and the texts that carry a count. Each works on the store and the window
// state only, so a test can run it without a dialog.

#include <QString>

namespace vesk {

class VeskStore;
class MainWindowState;

// "Delete 1 Vesk?", "Delete 2 Vesks?" (0 takes the plural too).
QString deleteConfirmationTitle(qsizetype selectedCount);
// "1 title will change", "3 titles will change".
QString cleanupHeadline(qsizetype candidateCount);
// "Updated 1 Vesk title.", "Updated 0 Vesk titles.".
QString cleanupCompletionMessage(int changedCount);

// Rename prompt, "Rename": saves the trimmed title of the pending item (looked up in the whole
// library; a deleted one is skipped) and closes the prompt. A blank title saves nothing.
void confirmItemRename(VeskStore& store, MainWindowState& state);
// "Cancel": closes the prompt.
void cancelItemRename(MainWindowState& state);

// New group prompt, "Create": makes the group and moves the pending item into it (posting
// "Moved"); then clears the name and the item.
void confirmNewGroup(VeskStore& store, MainWindowState& state);
void cancelNewGroup(MainWindowState& state);

// Rename group prompt, "Rename", then clears the group and the name.
void confirmGroupRename(VeskStore& store, MainWindowState& state);
void cancelGroupRename(MainWindowState& state);

// "Delete Group": a window filtering on the deleted group goes on showing the same items, now
// under "No Group". Then forgets the pending group.
void confirmGroupDelete(VeskStore& store, MainWindowState& state);
void cancelGroupDelete(MainWindowState& state);

// The cleanup sheet: opening computes the proposals once; "Apply Changes" applies them, keeps the
// count for the completion alert and closes the sheet.
void openFilenameCleanup(VeskStore& store, MainWindowState& state);
void applyFilenameCleanupFromSheet(VeskStore& store, MainWindowState& state);

} // namespace vesk
