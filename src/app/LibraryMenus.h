#pragma once
// The header's two library menus, "Browse Groups" and "Library Actions", as glass buttons in the
// controls strip. Their entries come from the pure functions below; an entry whose sheet, prompt
// or confirmation the window cannot present is left out, and one that cannot act is disabled.

#include "app/MainWindowState.h"
#include "grid/MenuEntry.h"
#include "model/VeskItem.h"
#include "present/VeskGroupFilter.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

class QMenu;
class QWidget;

namespace vesk {

class ControlsStrip;
class GlassButton;
class VeskStore;

enum class LibraryMenuAction {
    BrowseAll,
    BrowseUngrouped,
    BrowseGroup,
    RenameGroup,
    DeleteGroup,
    AboutVesk,
    People,
    PersonTimeline,
    DeleteSelected,
    SelectAllVisible,
    ClearSelection,
    CleanUpFilenames,
    ClearLibrary,
};

using LibraryMenuEntry = MenuEntry<LibraryMenuAction>;

// What the menus show depends on.
struct LibraryMenuInputs {
    QList<VeskGroup> groups;
    VeskGroupFilter filter = VeskGroupFilter::all();
    qsizetype itemCount = 0;
    qsizetype filteredCount = 0;
    qsizetype selectedCount = 0;
    std::function<bool(SheetFlag)> sheetAvailable;
};

// "All Vesks", "No Group", the groups to browse, and "Manage Groups" with a rename and a delete
// entry per group.
QList<LibraryMenuEntry> browseGroupsMenuEntries(const LibraryMenuInputs& inputs);
// About, People, the timeline, the selection commands, filename cleanup and clear library.
QList<LibraryMenuEntry> libraryActionsMenuEntries(const LibraryMenuInputs& inputs);

class LibraryMenus : public QObject {
    Q_OBJECT
public:
    // Adds the two menu buttons to the front of the strip.
    LibraryMenus(VeskStore& store, MainWindowState& state, ControlsStrip* strip);

    GlassButton* browseGroupsButton() const { return m_browseGroups; }
    GlassButton* libraryActionsButton() const { return m_libraryActions; }

    // The menus as the buttons open them, built afresh from the current state; the caller owns
    // them.
    QMenu* buildBrowseGroupsMenu(QWidget* parent = nullptr);
    QMenu* buildLibraryActionsMenu(QWidget* parent = nullptr);

    LibraryMenuInputs currentInputs() const;
    void apply(const LibraryMenuEntry& entry);

private:
    QMenu* buildMenu(const QList<LibraryMenuEntry>& entries, QWidget* parent);
    void popUp(QMenu* menu, QWidget* under);

    VeskStore& m_store;
    MainWindowState& m_state;
    GlassButton* m_browseGroups = nullptr;
    GlassButton* m_libraryActions = nullptr;
};

} // namespace vesk
