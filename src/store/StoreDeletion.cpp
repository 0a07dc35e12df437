// Deletes, clears and group deletes: the store's operations forward to its destructive changes,
// which take the recovery snapshot and change the library file; what a change removed from the
// file is then forgotten here, in every area.
#include "store/VeskStore.h"
#include "store/LibraryItems.h"

#include "store/AreaDestructiveChangesHost.h"
#include "store/DestructiveChanges.h"
#include "store/LibrarySelection.h"
#include "store/LibrarySearch.h"
#include "store/FileIntake.h"
#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"

namespace vesk {

void VeskStore::makeDestructiveChanges()
{
    m_destructiveHost = std::make_unique<AreaDestructiveChangesHost>(*this);
    m_destructive = std::make_unique<DestructiveChanges>(m_services.recoverySnapshots, m_services.secrets,
                                                         m_services.thumbnails, *m_groups, *m_destructiveHost);
    connect(m_destructive.get(), &DestructiveChanges::runningChanged, this,
            &VeskStore::destructiveChangeRunningChanged);
}

bool VeskStore::destructiveChangeRunning() const
{
    return m_destructive->running();
}

void VeskStore::deleteItems()
{
    assertMainThread();
    m_destructive->deleteItems();
}

void VeskStore::clearLibrary()
{
    assertMainThread();
    m_destructive->clearLibrary();
}

bool VeskStore::deleteGroup(const QUuid& id)
{
    assertMainThread();
    return m_destructive->deleteGroup(id);
}

void VeskStore::forgetDeletedItems(const QSet<QUuid>& ids)
{
    const QList<VeskItem> doomed = m_library->itemsWithIDs(ids);
    QHash<QUuid, QDateTime> bringBackDates = this->bringBackDates();
    QSet<QUuid> broughtBack = broughtBackIDs();
    for (const VeskItem& item : std::as_const(doomed)) {
        m_fileIntake->forgetKeptFile(item.id);
        bringBackDates.remove(item.id);
        broughtBack.remove(item.id);
    }
    setBringBackDates(bringBackDates);
    setBroughtBackIDs(broughtBack);
    // Their vectors, usage signals and manual tags go too.
    m_search->forgetItems(doomed);
    saveBringBackDates();

    removeFaceData(ids);

    // Search is told which items left, so that it takes out only those.
    const bool searchFollowedItems = m_search->followsItems();
    m_library->removeItems(ids);
    // What was selected while the snapshot was taken stays selected.
    m_selection->forget(ids);
    m_health->forgetUnsavedItems(ids);
    m_health->forgetSavingItems(ids);

    m_search->refreshAfterItemsRemoved(ids, searchFollowedItems);
}

void VeskStore::releaseGroupMembers(const QUuid& groupID)
{
    const bool released = m_library->changeEach([&](VeskItem& item) {
        if (item.groupID != groupID)
            return false;
        item.groupID.reset();
        return true;
    });
    if (released)
        m_library->publishItems();
    refreshSearchAfterChange();
}

void VeskStore::forgetWholeLibrary()
{
    // Only now: a capture or import still under way would otherwise be dropped by a clear that
    // did not happen.
    m_file->noteClear();

    m_library->setItems({});
    m_library->setFilteredItems({});
    setSelectedIDs({});
    setSelectedID(std::nullopt);
    setSearchText(QString());
    // The file lost every group row too; a list still showing them would offer groups that no
    // longer exist, and renaming one would write its row back.
    setGroups({});

    setRichTextByID({});
    // Vectors, usage signals, manual tags and the index.
    m_search->forgetAll();
    setBringBackDates({});
    setBroughtBackIDs({});
    saveBringBackDates();

    m_fileIntake->forgetKeptFiles();
    m_health->forgetUnsavedItems(unsavedItemIDs());
    m_health->forgetSavingItems(savingItemIDs());
    // Stops the face backfill too.
    clearFaceData();
}

} // namespace vesk
