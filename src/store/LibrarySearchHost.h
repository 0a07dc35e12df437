#pragma once

#include "model/VeskItem.h"
#include "store/ItemsReading.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

namespace vesk {

// What the search area reads of the library and where it publishes, given to it by the store.
// Everything is called on the main thread.
class LibrarySearchHost {
public:
    virtual ~LibrarySearchHost() = default;

    // The library's items, newest first, as the store holds them now.
    virtual const QList<VeskItem>& items() const = 0;
    // The same list for workers. The search reads its index through the list's own gate, so that
    // one turn reads both, and the main thread changes neither while a turn runs.
    virtual ItemsReading itemsReading() const = 0;
    // Position of the item in items(), or -1.
    virtual qsizetype indexOfItem(const QUuid& id) const = 0;
    virtual const QSet<QUuid>& broughtBackIDs() const = 0;
    // Pool names of the people whose faces each item holds, and those of one item.
    virtual QHash<QUuid, QSet<QString>> personNamesByItem() const = 0;
    virtual QSet<QString> personNamesOf(const QUuid& id) const = 0;

    // The search field's text, and a new one (a tag clicked).
    virtual const QString& searchText() const = 0;
    virtual void setSearchText(const QString& text) = 0;
    // False while start-up still builds the index.
    virtual bool searchReady() const = 0;

    // The published results: what the grid shows and the reasons beside its first cards.
    virtual const QList<VeskItem>& filteredItems() const = 0;
    // Publishes when different (compared item by item).
    virtual void setFilteredItems(const QList<VeskItem>& items) = 0;
    // Publishes a list that differs from the current one by construction (a fresh copy of the
    // default order), without comparing the two.
    virtual void replaceFilteredItems(const QList<VeskItem>& items) = 0;
    // Lets go of the published list without saying so: it is published again right after.
    virtual void releaseFilteredItems() = 0;
    virtual void setRetrievalHints(const QHash<QUuid, QString>& hints) = 0;

    // True while the library (and with it the settings) takes no writes.
    virtual bool readOnly() const = 0;
    // While the library takes no changes: says that this one did not happen and why; true then.
    virtual bool refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen) = 0;
    // The count of items being analysed or embedded, shown by the window.
    virtual void adjustIndexingCount(int delta) = 0;
    // Writes the item's sentence vector into its row, now or once the library file can take it.
    virtual void writeEmbedding(const QUuid& id, const QList<double>& vector) = 0;
};

} // namespace vesk
