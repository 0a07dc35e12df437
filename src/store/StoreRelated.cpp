// Items related to each other: the source an item was derived from, other versions of its file,
// and the items it reminds of.
#include "store/SearchState.h"

#include "intake/VersionKey.h"
#include "platform/Uuid.h"
#include "search/RelatedItems.h"
#include "search/SemanticVectors.h"

#include <span>

namespace vesk {

VeskItem VeskStore::sourceItem(const VeskItem& item) const
{
    assertMainThread();
    if (!item.sourceItemID)
        return item;
    const qsizetype index = indexOfItem(*item.sourceItemID);
    return index < 0 ? item : m_items.at(index);
}

QList<VeskItem> VeskStore::relatedVersions(const VeskItem& item, qsizetype limit) const
{
    assertMainThread();
    return relatedVersionsIn(item, m_items, limit);
}

QList<VeskItem> VeskStore::relatedItems(const VeskItem& item, qsizetype limit)
{
    assertMainThread();
    if (m_items.size() < 2 || limit < 0)
        return {};
    SearchState& state = searchState();
    // Words are read from the index, which must hold the library as it is (this also empties
    // the memo).
    if (state.itemsChangedSinceIndexing)
        rebuildSearchIndex();

    QList<QUuid> ranked;
    if (const auto memo = state.relatedCache.constFind(item.id); memo != state.relatedCache.cend()) {
        ranked = *memo;
    } else {
        const QDateTime now = m_services.clock->now();
        RelatedItemsSignals sources;
        sources.now = now;
        if (m_semanticVectors.contains(item.id)) {
            sources.vectorCosine = [this, own = item.id](const QUuid& other) -> std::optional<double> {
                return m_semanticVectors.cosine(own, other);
            };
        }
        // The few items ever opened, looked up by identifier instead of by text for every item.
        QHash<QUuid, double> usage;
        for (auto it = state.usageSignals.cbegin(); it != state.usageSignals.cend(); ++it) {
            if (const auto id = parseUuid(it.key()))
                usage.insert(*id, vesk::usageScore(*it, now));
        }
        sources.usageScore = [&usage](const QUuid& other) { return usage.value(other, 0.0); };
        ranked = rankRelatedItems(item, m_items, state.index, sources);
        ranked = ranked.first(std::min<qsizetype>(ranked.size(), std::max<qsizetype>(limit, 6)));
        state.relatedCache.insert(item.id, ranked);
    }

    QList<VeskItem> related;
    for (const QUuid& id : std::as_const(ranked)) {
        if (related.size() >= limit)
            break;
        if (const qsizetype index = indexOfItem(id); index >= 0)
            related.append(m_items.at(index));
    }
    return related;
}

} // namespace vesk
