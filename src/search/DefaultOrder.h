#pragma once

#include "model/VeskItem.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <deque>

namespace vesk {

// The library in its default order, kept up to date one item at a time: brought-back items
// first, then the rest, each part newest createdAt first; items with equal dates keep the order
// they have in the list the order was made from (see defaultOrder in Ranking.h, which sorts the
// whole list every time; this gives the same list).
//
// The list order it follows is the store's: an item is either read at start-up (in list order),
// put at the front of the list, changed in place or removed. Anything else calls for reset().
class DefaultOrder {
public:
    // Sorts the items anew.
    void reset(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs);
    // An item put at the front of the list.
    void prepend(const VeskItem& item);
    // An item changed in place; its date (and so its place) may have changed. An item that is not
    // in the order is not added.
    void update(const VeskItem& item);
    // Returns whether the item was in the order.
    bool remove(const QUuid& id);
    // Moves the items whose brought-back mark changed.
    void setBroughtBackIDs(const QSet<QUuid>& ids);

    bool contains(const QUuid& id) const { return m_keyByID.contains(id); }
    qsizetype size() const { return m_items.size(); }
    const QList<VeskItem>& items() const { return m_items; }

private:
    // The place of an item: brought-back first, newer first, then earlier in the list first.
    struct Key {
        bool broughtBack = false;
        qint64 time = 0;
        qint64 sequence = 0;
    };
    static bool before(const Key& a, const Key& b);
    Key keyFor(const VeskItem& item, qint64 sequence) const;
    qsizetype positionOf(const Key& key) const;
    void insert(const VeskItem& item, const Key& key);
    // Takes out the item and key at position.
    void removeAt(qsizetype position);

    // New items go near the front (the newest first): both lists keep room there, and a change
    // moves what lies on the nearer side of it, never the whole library.
    QList<VeskItem> m_items;
    std::deque<Key> m_keys;
    QHash<QUuid, Key> m_keyByID;
    QSet<QUuid> m_broughtBackIDs;
    // Items put at the front count down from here, so each is earlier in the list than all
    // before it.
    qint64 m_nextFrontSequence = -1;
};

} // namespace vesk
