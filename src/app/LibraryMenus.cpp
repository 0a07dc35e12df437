#include "app/LibraryMenus.h"

#include "app/ControlsStrip.h"
#include "app/LibraryCommands.h"
#include "grid/ResultStates.h"
#include "grid/VeskMenu.h"
#include "store/VeskStore.h"

#include <QMenu>

namespace vesk {

namespace {

LibraryMenuEntry entry(const QString& title, LibraryMenuAction action, bool enabled = true, bool destructive = false)
{
    LibraryMenuEntry made = LibraryMenuEntry::command(title, action);
    made.enabled = enabled;
    made.destructive = destructive;
    return made;
}

LibraryMenuEntry marker(LibraryMenuEntry::Type type, const QString& title = {})
{
    return LibraryMenuEntry::marker(type, title);
}

bool available(const LibraryMenuInputs& inputs, SheetFlag flag)
{
    return inputs.sheetAvailable && inputs.sheetAvailable(flag);
}

// Entries left out can leave dividers side by side or at an edge of a menu; those go too.
QList<LibraryMenuEntry> tidyDividers(const QList<LibraryMenuEntry>& entries)
{
    using Type = LibraryMenuEntry::Type;
    QList<LibraryMenuEntry> tidy;
    for (const LibraryMenuEntry& next : entries) {
        const bool atMenuStart = tidy.isEmpty() || tidy.last().type == Type::SubmenuBegin;
        if (next.type == Type::Divider && (atMenuStart || tidy.last().type == Type::Divider))
            continue;
        if (next.type == Type::SubmenuEnd && !tidy.isEmpty() && tidy.last().type == Type::Divider)
            tidy.removeLast();
        tidy.append(next);
    }
    if (!tidy.isEmpty() && tidy.last().type == Type::Divider)
        tidy.removeLast();
    return tidy;
}

} // namespace

QList<LibraryMenuEntry> browseGroupsMenuEntries(const LibraryMenuInputs& inputs)
{
    QList<LibraryMenuEntry> entries;
    // The browse entries are the grid's own "Open Group" entries.
    for (const CardMenuEntry& card : groupBrowseMenuEntries(inputs.groups, inputs.filter)) {
        if (card.type == CardMenuEntry::Type::Divider) {
            entries << marker(LibraryMenuEntry::Type::Divider);
            continue;
        }
        LibraryMenuEntry browse = entry(card.title, card.action == CardMenuAction::BrowseAll ? LibraryMenuAction::BrowseAll
                                                    : card.action == CardMenuAction::BrowseUngrouped
                                                        ? LibraryMenuAction::BrowseUngrouped
                                                        : LibraryMenuAction::BrowseGroup);
        browse.groupID = card.groupID;
        browse.checked = card.checked;
        entries << browse;
    }

    const bool canRename = available(inputs, SheetFlag::RenameGroupPrompt);
    const bool canDelete = available(inputs, SheetFlag::DeleteGroupConfirmation);
    if (inputs.groups.isEmpty() || (!canRename && !canDelete))
        return entries;
    entries << marker(LibraryMenuEntry::Type::Divider);
    entries << marker(LibraryMenuEntry::Type::SubmenuBegin, QStringLiteral("Manage Groups"));
    for (const VeskGroup& group : inputs.groups) {
        entries << marker(LibraryMenuEntry::Type::SubmenuBegin, group.name);
        if (canRename) {
            LibraryMenuEntry rename = entry(QStringLiteral("Rename\u2026"), LibraryMenuAction::RenameGroup);
            rename.groupID = group.id;
            entries << rename;
        }
        if (canDelete) {
            LibraryMenuEntry remove = entry(QStringLiteral("Delete\u2026"), LibraryMenuAction::DeleteGroup, true, true);
            remove.groupID = group.id;
            entries << remove;
        }
        entries << marker(LibraryMenuEntry::Type::SubmenuEnd);
    }
    entries << marker(LibraryMenuEntry::Type::SubmenuEnd);
    return entries;
}

QList<LibraryMenuEntry> libraryActionsMenuEntries(const LibraryMenuInputs& inputs)
{
    using Type = LibraryMenuEntry::Type;
    QList<LibraryMenuEntry> entries;
    if (available(inputs, SheetFlag::AboutVesk))
        entries << entry(QStringLiteral("About Vesk"), LibraryMenuAction::AboutVesk);
    if (available(inputs, SheetFlag::FaceClusterInspector))
        entries << entry(QStringLiteral("People"), LibraryMenuAction::People);
    if (available(inputs, SheetFlag::PersonTimeline))
        entries << entry(QStringLiteral("People Timeline & Photo Book\u2026"), LibraryMenuAction::PersonTimeline);
    entries << marker(Type::Divider);
    if (inputs.selectedCount > 0 && available(inputs, SheetFlag::DeleteConfirmation)) {
        entries << entry(QStringLiteral("Delete Selected\u2026"), LibraryMenuAction::DeleteSelected, true, true);
        entries << marker(Type::Divider);
    }
    entries << entry(QStringLiteral("Select All Visible"), LibraryMenuAction::SelectAllVisible, inputs.filteredCount > 0);
    entries << entry(QStringLiteral("Clear Selection"), LibraryMenuAction::ClearSelection, inputs.selectedCount > 0);
    entries << marker(Type::Divider);
    if (available(inputs, SheetFlag::FilenameCleanup))
        entries << entry(QStringLiteral("Clean Up Filenames\u2026"), LibraryMenuAction::CleanUpFilenames,
                         inputs.itemCount > 0);
    entries << marker(Type::Divider);
    if (available(inputs, SheetFlag::ClearLibraryConfirmation))
        entries << entry(QStringLiteral("Clear Library\u2026"), LibraryMenuAction::ClearLibrary, inputs.itemCount > 0,
                         true);
    return tidyDividers(entries);
}

LibraryMenus::LibraryMenus(VeskStore& store, MainWindowState& state, ControlsStrip* strip)
    : QObject(strip)
    , m_store(store)
    , m_state(state)
{
    m_browseGroups = new GlassButton(QStringLiteral("folder"), QStringLiteral("Groups"), false);
    m_browseGroups->setToolTip(QStringLiteral("Browse Groups"));
    m_libraryActions = new GlassButton(QStringLiteral("ellipsis.circle"), QString(), false);
    m_libraryActions->setToolTip(QStringLiteral("Library Actions"));
    m_libraryActions->setAccessibleName(QStringLiteral("Library Actions"));
    strip->addLeadingControl(m_browseGroups);
    strip->addLeadingControl(m_libraryActions);

    connect(m_browseGroups, &QAbstractButton::clicked, this,
            [this] { popUp(buildBrowseGroupsMenu(m_browseGroups), m_browseGroups); });
    connect(m_libraryActions, &QAbstractButton::clicked, this,
            [this] { popUp(buildLibraryActionsMenu(m_libraryActions), m_libraryActions); });
}

LibraryMenuInputs LibraryMenus::currentInputs() const
{
    LibraryMenuInputs inputs;
    inputs.groups = m_store.groups();
    inputs.filter = m_state.groupFilter();
    inputs.itemCount = m_store.items().size();
    inputs.filteredCount = m_store.filteredItems().size();
    inputs.selectedCount = m_store.selectedIDs().size();
    inputs.sheetAvailable = [state = &m_state](SheetFlag flag) { return state->sheetAvailable(flag); };
    return inputs;
}

QMenu* LibraryMenus::buildBrowseGroupsMenu(QWidget* parent)
{
    return buildMenu(browseGroupsMenuEntries(currentInputs()), parent);
}

QMenu* LibraryMenus::buildLibraryActionsMenu(QWidget* parent)
{
    return buildMenu(libraryActionsMenuEntries(currentInputs()), parent);
}

QMenu* LibraryMenus::buildMenu(const QList<LibraryMenuEntry>& entries, QWidget* parent)
{
    auto* menu = new VeskMenu(parent);
    fillMenu<LibraryMenuAction>(menu, entries, this, [this](const LibraryMenuEntry& entry) { apply(entry); });
    return menu;
}

void LibraryMenus::popUp(QMenu* menu, QWidget* under)
{
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(under->mapToGlobal(QPoint(0, under->height() + 4)));
}

void LibraryMenus::apply(const LibraryMenuEntry& entry)
{
    switch (entry.action) {
    case LibraryMenuAction::BrowseAll: m_state.setGroupFilter(VeskGroupFilter::all()); break;
    case LibraryMenuAction::BrowseUngrouped: m_state.setGroupFilter(VeskGroupFilter::ungrouped()); break;
    case LibraryMenuAction::BrowseGroup:
        if (entry.groupID)
            m_state.setGroupFilter(VeskGroupFilter::group(*entry.groupID));
        break;
    case LibraryMenuAction::RenameGroup: {
        // The menu may have stayed open while the group went away.
        const QList<VeskGroup>& groups = m_store.groups();
        const auto group = std::find_if(groups.cbegin(), groups.cend(),
                                        [&](const VeskGroup& g) { return g.id == entry.groupID; });
        if (group == groups.cend())
            break;
        m_state.setEditingGroupID(group->id);
        m_state.setEditingGroupName(group->name);
        m_state.setShowingRenameGroupPrompt(true);
        break;
    }
    case LibraryMenuAction::DeleteGroup:
        m_state.setPendingDeleteGroupID(entry.groupID);
        m_state.setShowingDeleteGroupConfirmation(true);
        break;
    case LibraryMenuAction::AboutVesk: m_state.setShowingAboutVesk(true); break;
    case LibraryMenuAction::People: m_state.setShowingFaceClusterInspector(true); break;
    case LibraryMenuAction::PersonTimeline: m_state.setShowingPersonTimeline(true); break;
    case LibraryMenuAction::DeleteSelected: m_state.setShowingDeleteConfirmation(true); break;
    case LibraryMenuAction::SelectAllVisible:
        m_store.selectItems(visibleItems(m_store.searchText(), m_store.filteredItems(), m_state.groupFilter(),
                                         m_state.showingAllVesks()));
        break;
    case LibraryMenuAction::ClearSelection: m_store.setSelectedIDs({}); break;
    case LibraryMenuAction::CleanUpFilenames: openFilenameCleanup(m_store, m_state); break;
    case LibraryMenuAction::ClearLibrary: m_state.setShowingClearLibraryConfirmation(true); break;
    }
}

} // namespace vesk
