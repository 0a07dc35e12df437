// Bulk delete and clear library: a recovery snapshot, the database, then every trace of the items
// outside it. A delete the database refuses changes nothing: the rows would bring the items back
// at the next start, so showing them gone would present a failure as success.
#include "store/VeskStore.h"

#include "model/ItemFileKinds.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/Uuid.h"
#include "store/LibrarySelection.h"
#include "store/SQLiteDatabase.h"
#include "store/LibrarySearch.h"

namespace vesk {

void VeskStore::removeItemTraces(const VeskItem& item)
{
    removeManagedFile(item);
    if (itemHasSecureMarker(item))
        m_services.secrets->deleteItem(item.id);
    // Not waited for: the cache removes it on its own worker.
    m_services.thumbnails->removeThumbnail(item.id);
}

namespace {

QString notDeleted(qsizetype count)
{
    return count == 1 ? QStringLiteral("The item was not deleted")
                      : QStringLiteral("The %1 items were not deleted").arg(count);
}

} // namespace

void VeskStore::deleteItems()
{
    assertMainThread();
    const QSet<QUuid> selection = selectedIDs();
    if (selection.isEmpty())
        return;
    if (refuseWhileReadOnly(QStringLiteral("Not deleted"), notDeleted(selection.size())))
        return;
    // The items selected now are deleted, whatever is selected by the time the snapshot is done.
    changeAfterRecoverySnapshot(QStringLiteral("before-bulk-delete"), [this, selection] {
        deleteItemsNow(selection);
        return true;
    });
}

bool VeskStore::changeAfterRecoverySnapshot(const QString& reason, std::function<bool()> change)
{
    // A failed snapshot is logged by the snapshots and never stops the change.
    const QFuture<bool> snapshot = m_services.recoverySnapshots->snapshotBeforeDestructiveChange(reason);
    if (snapshot.isFinished())
        return change();
    setDestructiveChangeRunning(true);
    deliverResult(this, snapshot, [this, change = std::move(change)](bool) {
        (void)change();
        setDestructiveChangeRunning(false);
    });
    return true;
}

void VeskStore::setDestructiveChangeRunning(bool value)
{
    if (m_destructiveChangeRunning == value)
        return;
    m_destructiveChangeRunning = value;
    emit destructiveChangeRunningChanged();
}

void VeskStore::deleteItemsNow(const QSet<QUuid>& selection)
{
    QList<VeskItem> doomed;
    for (const VeskItem& item : std::as_const(m_items)) {
        if (selection.contains(item.id))
            doomed.append(item);
    }

    if (m_database) {
        if (auto deleted = m_database->deleteItems(selection); !deleted) {
            veskLog(QStringLiteral("Vesk bulk database delete error: ") + deleted.error().logText());
            reportRefused(QStringLiteral("Not deleted"), notDeleted(selection.size()), deleted.error());
            return;
        }
    }

    QHash<QUuid, QDateTime> bringBackDates = this->bringBackDates();
    QSet<QUuid> broughtBack = broughtBackIDs();
    for (const VeskItem& item : std::as_const(doomed)) {
        removeItemTraces(item);
        forgetKeptFile(item.id);
        bringBackDates.remove(item.id);
        broughtBack.remove(item.id);
    }
    setBringBackDates(bringBackDates);
    setBroughtBackIDs(broughtBack);
    // Their vectors, usage signals and manual tags go too.
    m_search->forgetItems(doomed);
    saveBringBackDates();

    removeFaceData(selection);

    QList<VeskItem> remaining = m_items;
    remaining.removeIf([&](const VeskItem& item) { return selection.contains(item.id); });
    setItems(remaining);
    // What was selected while the snapshot was taken stays selected.
    m_selection->forget(selection);
    forgetUnsavedItems(selection);
    forgetSavingItems(selection);

    refreshSearchAfterChange();
}

void VeskStore::clearLibrary()
{
    assertMainThread();
    if (refuseWhileReadOnly(QStringLiteral("Not deleted"), notDeleted(m_items.size())))
        return;
    changeAfterRecoverySnapshot(QStringLiteral("before-clear-library"), [this] {
        clearLibraryNow();
        return true;
    });
}

void VeskStore::clearLibraryNow()
{
    if (m_database) {
        if (auto deleted = m_database->deleteAllRecords(); !deleted) {
            veskLog(QStringLiteral("Vesk clear-library database error: ") + deleted.error().logText());
            reportRefused(QStringLiteral("Not deleted"), notDeleted(m_items.size()), deleted.error());
            return;
        }
    }
    // Only now: a capture or import still under way would otherwise be dropped by a clear that
    // did not happen.
    ++m_libraryClears;

    for (const VeskItem& item : std::as_const(m_items))
        removeItemTraces(item);

    setItems({});
    setFilteredItems({});
    setSelectedIDs({});
    setSelectedID(std::nullopt);
    setSearchText(QString());
    // The database step removes every group row too; a list still showing them would offer
    // groups that no longer exist, and renaming one would write its row back.
    setGroups({});

    setRichTextByID({});
    // Vectors, usage signals, manual tags and the index.
    m_search->forgetAll();
    setBringBackDates({});
    setBroughtBackIDs({});
    saveBringBackDates();

    forgetKeptFiles();
    forgetUnsavedItems(unsavedItemIDs());
    forgetSavingItems(savingItemIDs());
    // Stops the face backfill too.
    clearFaceData();
}

} // namespace vesk
