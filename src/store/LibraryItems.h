#pragma once

#include "model/VeskItem.h"
#include "model/VeskNotices.h"
#include "platform/ReadGate.h"
#include "store/ItemsReading.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>
#include <vector>

namespace vesk {

// The library's items as the window sees them, and what it shows of them: the list newest first,
// the search text and the list it filters, the counters of work under way, the intake notice and
// the reasons beside the first results. Every change publishes through a ...Changed signal (the
// store forwards them as its own); a setter ignores an equal value. Main thread only.
//
// Finding an item by identifier takes constant time: each identifier keeps a slot that a shift
// turns into its position, so a new item at the front moves no other entry.
//
// The store's operations on the items (VeskStoreSaving.cpp, StoreCapture.cpp, StoreItemCommands.cpp,
// StoreFilenameCleanup.cpp), which change them only through this area:
//   - itemsLoaded(): true only when start-up read the whole stored library into items(). While it
//     is still reading, after a failed read, or without a database, items() is not the library:
//     nothing may be pruned or deleted because an item seems to be missing from it.
//   - indexOfItem(id): position of the first item with this identifier, or -1; sortItems: newest
//     createdAt first, equal dates keeping their order.
//   - saveItemToDatabase: writes the row; a success (or having no database) notes a change to the
//     recovery snapshots. True only when the row was written: false after a failed write and
//     without a database. A failure is logged, said in the failure notice, and the item is marked
//     unsaved until a retry writes it.
//   - updateItem: replaces the item with the same id, saves it, refreshes search and re-embeds it.
//     An id that is not in items() does nothing (false); false too when the row was not written.
//     adoptSavedItem is the same without the save, for a row the caller has written already.
//   - commitNewItem: puts a finished item at the front, selects it, saves its row, refreshes
//     search and starts its embedding. False when the row was not written (a failed save, or no
//     database): the item then lives in memory only, until the next start. False too while the
//     row waits for the check of the library file after start-up (savingItemIDs()). Refused
//     (false, said in the failure notice) while the library has a problem.
//   - refuseWhileReadOnly: while the library is read-only, or while a destructive change waits for
//     its snapshot (it would act on a library that changed since it was asked for), says that the
//     change did not happen and why; true then. refuseNewItemWhileBlocked refuses a new item in
//     the same way, and while the library has a problem.
//   - moveItemToGroup: moves the item into a group (none: out of every group) and says "Moved"
//     with its title, an arrow and targetName. False, with no notice, for an item no longer in
//     items() or a move that was not written.
//   - renameItem: gives the item the trimmed title. A blank title or an item no longer in items()
//     changes nothing; false then, and when the row was not written.
//   - postCapturedNotice: a transient notice about something done for the user outside an intake
//     (a copy made, a capture started), pointing at relatedID when given. clearIntakeNotice and
//     clearBringBackNotice take the notice away when it is still the one with this identifier: a
//     newer notice keeps its own full time.
//   - removeManagedFile: deletes the item's own folder inside "Items", never anything else.
//   - filenameCleanupCandidates: the items with a file whose machine-made title has a different
//     readable form, in list order; applyFilenameCleanup applies the candidates whose item still
//     carries the old title and returns the number changed.
class LibraryItems : public QObject {
    Q_OBJECT

public:
    explicit LibraryItems(QObject* parent = nullptr);
    // Closes the gate: a worker still holding it starts no turn over a list that is gone.
    ~LibraryItems() override;

    // --- The items, newest first ---

    const QList<VeskItem>& items() const { return m_items; }
    // The list for a worker, read in turns of its gate: every change of the list holds the gate,
    // so a worker reads it without a copy that would outlive the turn (see ItemsReading).
    ItemsReading reading() const { return ItemsReading{m_readGate, &m_items, &m_replacements, &m_changes}; }
    const std::shared_ptr<ReadGate>& readGate() const { return m_readGate; }
    // Position of the first item with this identifier, or -1.
    qsizetype indexOf(const QUuid& id) const;
    // The items with these identifiers, in list order, found without a walk over the list.
    QList<VeskItem> itemsWithIDs(const QSet<QUuid>& ids) const;
    // The item with this identifier as it is now; none when it is not in the list.
    std::optional<VeskItem> item(const QUuid& id) const;
    // Replaces the whole list; publishes when it differs.
    void setItems(const QList<VeskItem>& value);
    // Replaces the whole list without saying so: the caller publishes once it has done the rest.
    void adoptItems(QList<VeskItem> value);
    // Puts a new item at the front and publishes itemsChanged, then itemAdded. The list keeps room
    // at its front, so this copies no other item unless another list still shares this one.
    void prepend(const VeskItem& item);
    // Takes out the items with these identifiers where the list lies, instead of copying it
    // whole, moving only the items on one side of them; publishes when any was taken out. To a
    // worker's walk the list is then a new one.
    void removeItems(const QSet<QUuid>& ids);
    // Replaces the item at index when it differs (its identifier may change); publishes then.
    // Returns whether it changed.
    bool replaceAt(qsizetype index, const VeskItem& item);
    // Calls change(item) on each item in list order; it returns whether it changed the item and
    // keeps its identifier. Does not publish (publishItems() does); returns whether any changed.
    // The read gate is held throughout: change must not wait for it (nor change the search index,
    // which is read through the same gate).
    template <typename Change>
    bool changeEach(Change change)
    {
        const bool shown = letGoOfShownItems();
        bool changed = false;
        {
            const ReadGate::Change changing(*m_readGate);
            for (VeskItem& item : m_items) {
                [[maybe_unused]] const QUuid id = item.id;
                if (change(item))
                    changed = true;
                Q_ASSERT(item.id == id);
            }
            if (changed)
                ++m_changes;
        }
        if (shown) {
            m_filteredItems = m_items;
            m_shownItemsChangedUnsaid = m_shownItemsChangedUnsaid || changed;
        }
        return changed;
    }
    // Says that the items changed (after adoptItems or changeEach).
    void publishItems();
    // Changes with every change of the list (see ItemsReading::changes): a list that reads the
    // same count as before has not changed since.
    quint64 changeCount() const { return m_changes; }

    // True only when start-up read the whole stored library into items().
    bool isWhole() const { return m_whole; }
    void setWhole(bool whole) { m_whole = whole; }

    // --- What the window shows of them ---

    const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& value);
    const QList<VeskItem>& filteredItems() const { return m_filteredItems; }
    // Publishes when different (compared item by item); the list replaced is freed on a worker.
    void setFilteredItems(const QList<VeskItem>& value);
    // Publishes a list that differs by construction, without comparing the two; the list replaced
    // is freed on a worker too.
    void replaceFilteredItems(const QList<VeskItem>& value);
    // Lets go of the published list without saying so: it is published again right after.
    void releaseFilteredItems() { m_filteredItems = QList<VeskItem>(); }
    // False while the library is still being read and its search prepared at start-up; a search
    // typed meanwhile is answered once it turns true.
    bool searchReady() const { return m_searchReady; }
    void setSearchReady(bool value);
    const QHash<QUuid, QString>& retrievalHints() const { return m_retrievalHints; }
    void setRetrievalHints(const QHash<QUuid, QString>& value);
    const std::optional<VeskIntakeNotice>& intakeNotice() const { return m_intakeNotice; }
    void setIntakeNotice(const std::optional<VeskIntakeNotice>& value);

    // --- Counters of work under way ---

    int importCountInProgress() const { return m_importCountInProgress; }
    void setImportCountInProgress(int value);
    int indexingCount() const { return m_indexingCount; }
    void setIndexingCount(int value);
    int inboxImportCount() const { return m_inboxImportCount; }
    void setInboxImportCount(int value);
    int cloudImportCount() const { return m_cloudImportCount; }
    void setCloudImportCount(int value);

signals:
    void itemsChanged();
    // A new item has entered items() (just after that itemsChanged); start-up's reading adds none.
    void itemAdded(const QUuid& id);
    void searchTextChanged();
    void filteredItemsChanged();
    void searchReadyChanged();
    void retrievalHintsChanged();
    void intakeNoticeChanged();
    void importCountInProgressChanged();
    void indexingCountChanged();
    void inboxImportCountChanged();
    void cloudImportCountChanged();

private:
    void publishFilteredItems(const QList<VeskItem>& value);
    // Puts value in place of the list; the list it replaces is freed when value goes.
    void replaceItems(QList<VeskItem> value);
    void rebuildIndex();
    // A published list that is the items themselves (an empty search over a library in its own
    // order) would make a change of the items copy every one of them first: it lets go of them for
    // the change (true then) and shows them again once changed.
    bool letGoOfShownItems();

    QList<VeskItem> m_items;
    // Held by every change of m_items; workers read it in its turns.
    std::shared_ptr<ReadGate> m_readGate = std::make_shared<ReadGate>();
    quint64 m_replacements = 0;
    quint64 m_changes = 0;
    // Position of an identifier = its slot + m_frontShift - the removed slots below it; an item
    // put at the front raises the shift, which moves every other item one place back at once,
    // and a removed item leaves its slot here (ascending), which moves those after it one place
    // forward. The table is made anew once many slots are removed.
    QHash<QUuid, qsizetype> m_slotByID;
    qsizetype m_frontShift = 0;
    std::vector<qsizetype> m_removedSlots;
    bool m_whole = false;

    QString m_searchText;
    QList<VeskItem> m_filteredItems;
    // changeEach changed the published list, which publishItems says.
    bool m_shownItemsChangedUnsaid = false;
    bool m_searchReady = true;
    QHash<QUuid, QString> m_retrievalHints;
    std::optional<VeskIntakeNotice> m_intakeNotice;
    int m_importCountInProgress = 0;
    int m_indexingCount = 0;
    int m_inboxImportCount = 0;
    int m_cloudImportCount = 0;
};

} // namespace vesk
