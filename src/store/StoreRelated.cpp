// Items related to each other: the source an item was derived from, other versions of its file,
// and the items it reminds of.
#include "store/SearchState.h"

#include "intake/VersionKey.h"
#include "platform/Uuid.h"
#include "search/RelatedItems.h"

#include <cmath>

namespace vesk {

namespace {

// Cosine of two sentence vectors; 0 when either is empty or all zeros, or their lengths differ.
// Kept here until the search engine offers one of its own.
double relatedVectorCosine(const QList<double>& a, const QList<double>& b)
{
    if (a.isEmpty() || a.size() != b.size())
        return 0.0;
    double dot = 0.0;
    double normA = 0.0;
    double normB = 0.0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        dot += a[i] * b[i];
        normA += a[i] * a[i];
        normB += b[i] * b[i];
    }
    if (normA == 0.0 || normB == 0.0)
        return 0.0;
    return dot / (std::sqrt(normA) * std::sqrt(normB));
}

} // namespace

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
        const auto ownVector = m_semanticVectors.constFind(item.id);
        RelatedItemsSignals sources;
        sources.now = now;
        if (ownVector != m_semanticVectors.cend()) {
            sources.vectorCosine = [this, &ownVector](const QUuid& other) -> std::optional<double> {
                const auto theirs = m_semanticVectors.constFind(other);
                if (theirs == m_semanticVectors.cend())
                    return std::nullopt;
                return relatedVectorCosine(*ownVector, *theirs);
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
