#pragma once

#include "model/VeskItem.h"

#include <QList>

namespace vesk {

// The cards the grid shows, in order: a list of the grid's own (the newest items, a group's) or
// the store's published results themselves, read where the store keeps them. A share of the
// store's list kept from one turn to the next would make the store's next change of it (a capture
// puts an item at its front) copy the whole library first. Read in place, the list is the store's
// as it is now; the store's signals bring the grid's layout after it.
class GridItems {
public:
    GridItems() = default;
    // A list of the grid's own.
    GridItems(QList<VeskItem> own) : m_own(std::move(own)) {}
    // The store's list, which outlives the grid and changes only on the main thread.
    static GridItems readInPlace(const QList<VeskItem>& list);

    const QList<VeskItem>& list() const { return m_inPlace ? *m_inPlace : m_own; }
    qsizetype size() const { return list().size(); }
    bool isEmpty() const { return list().isEmpty(); }
    const VeskItem& at(qsizetype index) const { return list().at(index); }
    const VeskItem& first() const { return list().first(); }
    QList<VeskItem>::const_iterator begin() const { return list().cbegin(); }
    QList<VeskItem>::const_iterator end() const { return list().cend(); }

    // Whether other shows this very list as it was: no new list for the grid. A list read in place
    // that the store has moved or lengthened since is another one; one changed in place is not.
    bool isSameListAs(const GridItems& other) const;
    // Lets go of the grid's own list and gives it to the caller (none for a list read in place).
    QList<VeskItem> takeOwn();

private:
    QList<VeskItem> m_own;
    const QList<VeskItem>* m_inPlace = nullptr;
    // Where the list read in place lay, and its length, when this was made.
    const VeskItem* m_inPlaceData = nullptr;
    qsizetype m_inPlaceSize = 0;
};

} // namespace vesk
