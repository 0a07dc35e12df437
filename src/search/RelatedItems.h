#pragma once

#include "model/VeskItem.h"

#include <QDateTime>
#include <QList>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

class SearchIndex;

// What ranks the items that remind of one item, beside the library and its index.
struct RelatedItemsSignals {
    QDateTime now;
    // The cosine of the item's and the other item's sentence vectors; none when either has none.
    std::function<std::optional<double>(const QUuid& other)> vectorCosine;
    // 0..1: how much and how lately the other item was opened.
    std::function<double(const QUuid& other)> usageScore;
};

// Every other item of items that shares content words (the index's association tokens), title
// words or close meaning with item, best first: shared words weigh most, then meaning, then
// closeness in time of the two items, the other's recency and its use. Exactly equal scores put
// the newer item first. Items sharing nothing are left out.
QList<QUuid> rankRelatedItems(const VeskItem& item, const QList<VeskItem>& items, const SearchIndex& index,
    const RelatedItemsSignals& signalSources);

} // namespace vesk
