#pragma once

#include "grid/VeskCardPainter.h"

#include <QHash>
#include <QRect>
#include <QRegion>

namespace vesk {

// What each card in view showed when it was last painted, by its place in the list, so that a
// change of the grid's state repaints only the cards it changes: a new letter of a search, a
// selection, a pulse or an arriving picture touches a few cards, and a paint of the whole grid
// would paint every card again together with the window's backdrop behind it.
class PaintedCards {
public:
    // The card at index was painted over reach, showing content with target as the look it
    // moves to (or rests in); whole when all of its reach in view was painted. A card painted
    // only in part shows its new content only there: unless what it shows is unchanged, it is
    // forgotten, so that it counts as changed until it is painted whole.
    void record(qsizetype index, const QRect& reach, const VeskCardContent& content, const CardLook& target,
                bool whole);
    // Nothing when the card at index was painted over reach showing what content and target
    // show; otherwise the place it is to be painted at and the place it was painted at.
    QRegion changedPlaces(qsizetype index, const QRect& reach, const VeskCardContent& content,
                          const CardLook& target) const;
    // The places of the cards recorded outside the indexes first to last (one past), which a
    // repaint must clear.
    QRegion outside(qsizetype first, qsizetype last) const;
    // Forgets the cards outside first to last whose places within view lie wholly in painted:
    // their places no longer show them.
    void forgetOutside(qsizetype first, qsizetype last, const QRegion& painted, const QRect& view);
    void clear() { m_cards.clear(); }
    qsizetype size() const { return m_cards.size(); }

private:
    struct Card {
        QRect reach;
        VeskCardContent content;
        CardLook target;
    };
    static bool same(const Card& card, const QRect& reach, const VeskCardContent& content, const CardLook& target);

    QHash<qsizetype, Card> m_cards;
};

} // namespace vesk
