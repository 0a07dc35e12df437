#include "store/LibraryItems.h"

#include "platform/BackgroundRelease.h"
#include "platform/ErasePositions.h"
#include "store/PublishedValue.h"

#include <algorithm>
#include <utility>

namespace vesk {

LibraryItems::LibraryItems(QObject* parent) : QObject(parent) {}

LibraryItems::~LibraryItems()
{
    m_readGate->close();
}

qsizetype LibraryItems::indexOf(const QUuid& id) const
{
    const auto found = m_slotByID.constFind(id);
    if (found == m_slotByID.cend())
        return -1;
    const auto removedBefore = std::lower_bound(m_removedSlots.cbegin(), m_removedSlots.cend(), *found) - m_removedSlots.cbegin();
    return *found + m_frontShift - removedBefore;
}

QList<VeskItem> LibraryItems::itemsWithIDs(const QSet<QUuid>& ids) const
{
    std::vector<qsizetype> positions;
    for (const QUuid& id : ids) {
        if (const qsizetype index = indexOf(id); index >= 0)
            positions.push_back(index);
    }
    std::sort(positions.begin(), positions.end());
    QList<VeskItem> found;
    found.reserve(qsizetype(positions.size()));
    for (const qsizetype index : positions)
        found.append(m_items.at(index));
    return found;
}

std::optional<VeskItem> LibraryItems::item(const QUuid& id) const
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return std::nullopt;
    return m_items.at(index);
}

void LibraryItems::rebuildIndex()
{
    m_frontShift = 0;
    m_removedSlots.clear();
    m_slotByID.clear();
    m_slotByID.reserve(m_items.size());
    // Backwards, so that the first item with an identifier is the one kept.
    for (qsizetype i = m_items.size() - 1; i >= 0; --i)
        m_slotByID.insert(m_items.at(i).id, i);
}

void LibraryItems::setItems(const QList<VeskItem>& value)
{
    if (m_items == value)
        return;
    replaceItems(QList<VeskItem>(value));
    emit itemsChanged();
}

void LibraryItems::adoptItems(QList<VeskItem> value)
{
    replaceItems(std::move(value));
}

void LibraryItems::replaceItems(QList<VeskItem> value)
{
    {
        const ReadGate::Change change(*m_readGate);
        // The list let go of is freed once the gate is open again.
        std::swap(m_items, value);
        ++m_replacements;
        ++m_changes;
    }
    rebuildIndex();
}

bool LibraryItems::letGoOfShownItems()
{
    if (m_items.isEmpty() || !m_filteredItems.isSharedWith(m_items))
        return false;
    m_filteredItems = QList<VeskItem>();
    return true;
}

void LibraryItems::publishItems()
{
    emit itemsChanged();
    if (std::exchange(m_shownItemsChangedUnsaid, false))
        emit filteredItemsChanged();
}

void LibraryItems::prepend(const VeskItem& item)
{
    const bool shown = letGoOfShownItems();
    {
        const ReadGate::Change change(*m_readGate);
        m_items.prepend(item);
        ++m_changes;
    }
    ++m_frontShift;
    m_slotByID.insert(item.id, -m_frontShift);
    // The search places the new item in what it shows next; the list shown meanwhile holds it.
    if (shown)
        m_filteredItems = m_items;
    emit itemsChanged();
    if (shown)
        emit filteredItemsChanged();
    emit itemAdded(item.id);
}

void LibraryItems::removeItems(const QSet<QUuid>& ids)
{
    // Every identifier once in the list (as the store keeps it): the items are found by the table
    // and only they are taken out. Otherwise each item with one of the identifiers goes.
    const bool unique = m_slotByID.size() == m_items.size();
    std::vector<qsizetype> positions;
    std::vector<qsizetype> removedSlots;
    if (unique) {
        for (const QUuid& id : ids) {
            const auto found = m_slotByID.constFind(id);
            if (found == m_slotByID.cend())
                continue;
            positions.push_back(indexOf(id));
            removedSlots.push_back(*found);
        }
        if (positions.empty())
            return;
        std::sort(positions.begin(), positions.end());
    }
    const bool shown = letGoOfShownItems();
    qsizetype removed = 0;
    {
        const ReadGate::Change change(*m_readGate);
        if (unique) {
            eraseAtPositions(m_items, positions);
            removed = qsizetype(positions.size());
        } else {
            removed = m_items.removeIf([&](const VeskItem& item) { return ids.contains(item.id); });
        }
        if (removed > 0) {
            ++m_replacements;
            ++m_changes;
        }
    }
    if (unique) {
        for (const QUuid& id : ids)
            m_slotByID.remove(id);
        std::sort(removedSlots.begin(), removedSlots.end());
        const auto middle = qsizetype(m_removedSlots.size());
        m_removedSlots.insert(m_removedSlots.end(), removedSlots.begin(), removedSlots.end());
        std::inplace_merge(m_removedSlots.begin(), m_removedSlots.begin() + middle, m_removedSlots.end());
        // Each look-up counts the removed slots below it: once they are many, a new table.
        if (m_removedSlots.size() > std::max<size_t>(64, size_t(m_items.size()) / 64))
            rebuildIndex();
    } else if (removed > 0) {
        rebuildIndex();
    }
    if (shown)
        m_filteredItems = m_items;
    if (removed == 0)
        return;
    emit itemsChanged();
    if (shown)
        emit filteredItemsChanged();
}

bool LibraryItems::replaceAt(qsizetype index, const VeskItem& item)
{
    if (m_items.at(index) == item)
        return false;
    const bool shown = letGoOfShownItems();
    const QUuid oldID = m_items.at(index).id;
    {
        const ReadGate::Change change(*m_readGate);
        m_items[index] = item;
        ++m_changes;
    }
    if (oldID != item.id)
        rebuildIndex();
    if (shown)
        m_filteredItems = m_items;
    emit itemsChanged();
    if (shown)
        emit filteredItemsChanged();
    return true;
}

void LibraryItems::setSearchText(const QString& value)
{
    if (assignChanged(m_searchText, value))
        emit searchTextChanged();
}

void LibraryItems::setFilteredItems(const QList<VeskItem>& value)
{
    if (m_filteredItems == value)
        return;
    publishFilteredItems(value);
}

void LibraryItems::replaceFilteredItems(const QList<VeskItem>& value)
{
    publishFilteredItems(value);
}

void LibraryItems::publishFilteredItems(const QList<VeskItem>& value)
{
    QList<VeskItem> replaced = std::exchange(m_filteredItems, value);
    emit filteredItemsChanged();
    // The list replaced may hold the whole library: it is freed on a worker. Looked at only now,
    // after the signal: a view that shared it lets go of it in answer, and this hold was then the
    // last, freed here on the window's thread. One still held elsewhere (the search keeps the
    // items of its lists) costs nothing to let go of, and is let go of at once, so that its other
    // holder is left the only one.
    if (replaced.isDetached())
        releaseInBackground(std::move(replaced));
}

void LibraryItems::setSearchReady(bool value)
{
    if (assignChanged(m_searchReady, value))
        emit searchReadyChanged();
}

void LibraryItems::setRetrievalHints(const QHash<QUuid, QString>& value)
{
    if (assignChanged(m_retrievalHints, value))
        emit retrievalHintsChanged();
}

void LibraryItems::setIntakeNotice(const std::optional<VeskIntakeNotice>& value)
{
    if (assignChanged(m_intakeNotice, value))
        emit intakeNoticeChanged();
}

void LibraryItems::setImportCountInProgress(int value)
{
    if (assignChanged(m_importCountInProgress, value))
        emit importCountInProgressChanged();
}

void LibraryItems::setIndexingCount(int value)
{
    if (assignChanged(m_indexingCount, value))
        emit indexingCountChanged();
}

void LibraryItems::setInboxImportCount(int value)
{
    if (assignChanged(m_inboxImportCount, value))
        emit inboxImportCountChanged();
}

void LibraryItems::setCloudImportCount(int value)
{
    if (assignChanged(m_cloudImportCount, value))
        emit cloudImportCountChanged();
}

} // namespace vesk
