#pragma once

#include "model/VeskItem.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <deque>
#include <vector>

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
    // The same, but a list already in order is shared instead of copied: for a list that keeps
    // room at its front for the items put there, or one that bind() follows next.
    void resetSharing(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs);
    // Sorts the list anew and follows it from now on: its owner changes it first and then tells
    // the order (prepend, update, remove), and keeps it alive while the order follows it. While the
    // list is in the default order, as a library read newest first is, the order keeps no copy of
    // its items and items() is the list itself; the order copies them only once it differs.
    void follow(const QList<VeskItem>& list, const QSet<QUuid>& broughtBackIDs);
    // Follows the list from now on when the order holds the same items in the same order (as one
    // reset from the list and told of its changes does); otherwise keeps its own.
    void bind(const QList<VeskItem>& list);
    // A followed list that is in the default order again is followed without a copy.
    void rejoin();
    // An item put at the front of the list.
    void prepend(const VeskItem& item);
    // An item changed in place; its date (and so its place) may have changed. An item that is not
    // in the order is not added.
    void update(const VeskItem& item);
    // Returns whether the item was in the order.
    bool remove(const QUuid& id);
    // Items taken out of the list together (a bulk delete), which the list let go of already:
    // one pass over the side of the order that moves, instead of a pass per item or a sort.
    void removeAll(const QSet<QUuid>& ids);
    // Moves the items whose brought-back mark changed.
    void setBroughtBackIDs(const QSet<QUuid>& ids);

    bool contains(const QUuid& id) const { return m_keyByID.contains(id); }
    qsizetype size() const { return qsizetype(m_keys.size()); }
    const QList<VeskItem>& items() const { return m_sharesList ? *m_list : m_items; }
    // True while items() is the followed list itself.
    bool sharesList() const { return m_sharesList; }

private:
    // Holds its own copy of items, in the order sortKeys gave.
    void copyInOrder(const QList<VeskItem>& items, const std::vector<qsizetype>& order);
    // The place of an item: brought-back first, newer first, then earlier in the list first.
    struct Key {
        bool broughtBack = false;
        qint64 time = 0;
        qint64 sequence = 0;
    };
    static bool before(const Key& a, const Key& b);
    Key keyFor(const VeskItem& item, qint64 sequence) const;
    // Takes the brought-back marks and sorts the keys of the items, each identifier once (the
    // first); false when that changed the list's order or left an item out.
    bool sortKeys(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs, std::vector<qsizetype>& order);
    // The followed list, told of every change and in the default order: the order takes its own
    // copy of it before it moves an item (the list holds the change already), or sorts it anew when
    // the list and the order no longer hold the same number of items.
    bool copyFollowedList(qsizetype expectedSize);
    qsizetype positionOf(const Key& key) const;
    void insert(const VeskItem& item, const Key& key);
    // Takes out the item and key at position.
    void removeAt(qsizetype position);

    // New items go near the front (the newest first): both lists keep room there, and a change
    // moves what lies on the nearer side of it, never the whole library.
    QList<VeskItem> m_items;
    std::deque<Key> m_keys;
    // The list followed (none until follow() or bind()); while m_sharesList, items() is that list
    // and m_items stays empty.
    const QList<VeskItem>* m_list = nullptr;
    bool m_sharesList = false;
    QHash<QUuid, Key> m_keyByID;
    QSet<QUuid> m_broughtBackIDs;
    // Items put at the front count down from here, so each is earlier in the list than all
    // before it.
    qint64 m_nextFrontSequence = -1;
};

} // namespace vesk
