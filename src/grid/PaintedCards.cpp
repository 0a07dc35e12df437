#include "grid/PaintedCards.h"

namespace vesk {

void PaintedCards::record(qsizetype index, const QRect& reach, const VeskCardContent& content, const CardLook& target,
                          bool whole)
{
    if (!whole) {
        const auto card = m_cards.constFind(index);
        if (card != m_cards.cend() && !same(*card, reach, content, target))
            m_cards.erase(card);
        return;
    }
    m_cards.insert(index, Card{reach, content, target});
}

bool PaintedCards::same(const Card& card, const QRect& reach, const VeskCardContent& content, const CardLook& target)
{
    // The cheap differences first: a new list changes the item at most places.
    const VeskCardContent& was = card.content;
    return card.reach == reach && was.item.id == content.item.id && card.target == target
        && was.thumbnail.cacheKey() == content.thumbnail.cacheKey() && was.isTopResult == content.isTopResult
        && was.isUnsaved == content.isUnsaved && was.isSaving == content.isSaving
        && was.hasRichText == content.hasRichText && was.previewUnavailable == content.previewUnavailable
        && was.retrievalHint == content.retrievalHint && was.displayTitle == content.displayTitle
        && was.dates.importedLine == content.dates.importedLine && was.dates.createdLine == content.dates.createdLine
        && was.item == content.item;
}

QRegion PaintedCards::changedPlaces(qsizetype index, const QRect& reach, const VeskCardContent& content,
                                    const CardLook& target) const
{
    const auto card = m_cards.constFind(index);
    if (card == m_cards.cend())
        return reach;
    if (same(*card, reach, content, target))
        return {};
    // A card that moved leaves its old place to be cleared as well.
    return QRegion(reach) + card->reach;
}

QRegion PaintedCards::outside(qsizetype first, qsizetype last) const
{
    QRegion places;
    for (auto card = m_cards.cbegin(); card != m_cards.cend(); ++card) {
        if (card.key() < first || card.key() >= last)
            places += card->reach;
    }
    return places;
}

void PaintedCards::forgetOutside(qsizetype first, qsizetype last, const QRegion& painted, const QRect& view)
{
    for (auto card = m_cards.begin(); card != m_cards.end();) {
        const bool gone = (card.key() < first || card.key() >= last)
            && (QRegion(card->reach.intersected(view)) - painted).isEmpty();
        card = gone ? m_cards.erase(card) : std::next(card);
    }
}

} // namespace vesk
