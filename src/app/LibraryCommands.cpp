#include "app/LibraryCommands.h"

#include "app/MainWindowState.h"
#include "store/VeskStore.h"

namespace vesk {

namespace {
// The number, the noun and "s" unless the number is exactly 1.
QString counted(qsizetype count, const QString& noun)
{
    return QString::number(count) + QLatin1Char(' ') + noun + (count == 1 ? QString() : QStringLiteral("s"));
}
} // namespace

QString deleteConfirmationTitle(qsizetype selectedCount)
{
    return QStringLiteral("Delete ") + counted(selectedCount, QStringLiteral("Vesk")) + QLatin1Char('?');
}

QString cleanupHeadline(qsizetype candidateCount)
{
    return counted(candidateCount, QStringLiteral("title")) + QStringLiteral(" will change");
}

QString cleanupCompletionMessage(int changedCount)
{
    return QStringLiteral("Updated ") + counted(changedCount, QStringLiteral("Vesk title")) + QLatin1Char('.');
}

void confirmItemRename(VeskStore& store, MainWindowState& state)
{
    // A rename that was not written is marked and said by the store.
    if (const std::optional<QUuid> id = state.pendingRenameItemID())
        store.renameItem(*id, state.renameItemTitle());
    state.setPendingRenameItemID(std::nullopt);
}

void cancelItemRename(MainWindowState& state)
{
    state.setPendingRenameItemID(std::nullopt);
}

void confirmNewGroup(VeskStore& store, MainWindowState& state)
{
    const QString name = state.newGroupName().trimmed();
    if (!name.isEmpty()) {
        if (const std::optional<VeskGroup> group = store.createGroup(name); group && state.pendingGroupItemID())
            store.moveItemToGroup(*state.pendingGroupItemID(), group->id, group->name);
    }
    cancelNewGroup(state);
}

void cancelNewGroup(MainWindowState& state)
{
    state.setNewGroupName(QString());
    state.setPendingGroupItemID(std::nullopt);
}

void confirmGroupRename(VeskStore& store, MainWindowState& state)
{
    const QString name = state.editingGroupName().trimmed();
    if (state.editingGroupID() && !name.isEmpty())
        (void)store.renameGroup(*state.editingGroupID(), name); // a refused rename is said by the store
    cancelGroupRename(state);
}

void cancelGroupRename(MainWindowState& state)
{
    state.setEditingGroupID(std::nullopt);
    state.setEditingGroupName(QString());
}

void confirmGroupDelete(VeskStore& store, MainWindowState& state)
{
    const std::optional<QUuid> id = state.pendingDeleteGroupID();
    if (!id)
        return;
    const bool wasShowingIt = state.groupFilter() == VeskGroupFilter::group(*id);
    if (store.deleteGroup(*id) && wasShowingIt)
        state.setGroupFilter(VeskGroupFilter::ungrouped());
    state.setPendingDeleteGroupID(std::nullopt);
}

void cancelGroupDelete(MainWindowState& state)
{
    state.setPendingDeleteGroupID(std::nullopt);
}

void openFilenameCleanup(VeskStore& store, MainWindowState& state)
{
    state.setFilenameCleanupCandidates(store.filenameCleanupCandidates());
    state.setShowingFilenameCleanup(true);
}

void applyFilenameCleanupFromSheet(VeskStore& store, MainWindowState& state)
{
    const int changed = store.applyFilenameCleanup(state.filenameCleanupCandidates());
    state.setFilenameCleanupCandidates({});
    state.setCleanupFinishedCount(changed);
    state.setShowingFilenameCleanup(false);
}

} // namespace vesk
