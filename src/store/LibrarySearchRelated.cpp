// Items related to each other: the source an item was derived from, other versions of its file,
// and the items it reminds of.
#include "store/LibrarySearch.h"

#include "intake/VersionKey.h"
#include "platform/FutureDelivery.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/Uuid.h"
#include "platform/WorkPool.h"
#include "search/RelatedItems.h"
#include "search/SemanticVectors.h"
#include "store/ItemsReading.h"
#include "store/LibrarySearchHost.h"
#include "store/SearchState.h"

#include <QPointer>
#include <QScopeGuard>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <span>
#include <vector>

namespace vesk {

VeskItem LibrarySearch::sourceItem(const VeskItem& item) const
{
    assertMainThread();
    if (!item.sourceItemID)
        return item;
    const qsizetype index = m_host->indexOfItem(*item.sourceItemID);
    return index < 0 ? item : m_host->items().at(index);
}

QList<VeskItem> LibrarySearch::relatedVersions(const VeskItem& item, qsizetype limit) const
{
    assertMainThread();
    return relatedVersionsIn(item, m_host->items(), limit);
}

CancellationToken LibrarySearch::findRelatedVersionsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
    std::function<void(const QList<VeskItem>&)> done) const
{
    assertMainThread();
    const CancellationToken cancelled;
    // The worker walks the library's own list in short turns of its gate, from the oldest item
    // on: the main thread waits at most one turn to change it, and an item put at the front
    // meanwhile (newer than the question) is left out, as a copy taken when asked would leave it.
    // A copy held by the worker would make that new item copy the whole library instead.
    const QFuture<QList<VeskItem>> found = QtConcurrent::run(workPool(),
        handedOff([walk = ItemsWalk(m_host->itemsReading()), item, limit, cancelled]() mutable -> QList<VeskItem> {
            const RelatedVersionMatch match(item);
            if (!match.canMatch() || limit <= 0)
                return {};
            // About a millisecond of names compared per turn.
            constexpr qsizetype turn = 1024;
            std::vector<RelatedVersionMatch::Kept> kept;
            const auto keep = [&](const VeskItem& other) {
                if (const std::optional<double> score = match.score(other))
                    kept.push_back({other, *score});
            };
            for (;;) {
                if (cancelled.isCancelled())
                    return {};
                const ItemsWalk::Turn read = walk.next(turn, keep);
                if (read == ItemsWalk::Turn::Closed)
                    return {};
                if (read == ItemsWalk::Turn::Restarted)
                    kept.clear();
                if (read == ItemsWalk::Turn::Done)
                    break;
            }
            // Walked from the end: the ordering keeps ties in list order.
            std::reverse(kept.begin(), kept.end());
            return RelatedVersionMatch::best(std::move(kept), limit);
        }));
    deliverResult(receiver, found, [cancelled, done = std::move(done)](const QList<VeskItem>& versions) {
        if (!cancelled.isCancelled())
            done(versions);
    });
    return cancelled;
}

QHash<QUuid, double> LibrarySearch::usageScoresByID(const QDateTime& now) const
{
    // The few items ever opened, looked up by identifier instead of by text for every item.
    QHash<QUuid, double> usage;
    const SearchState& state = *m_state;
    for (auto it = state.usageSignals.cbegin(); it != state.usageSignals.cend(); ++it) {
        if (const auto id = parseUuid(it.key()))
            usage.insert(*id, vesk::usageScore(*it, now));
    }
    return usage;
}

QList<VeskItem> LibrarySearch::itemsOfRanking(const QList<QUuid>& ranked, qsizetype limit) const
{
    QList<VeskItem> related;
    for (const QUuid& id : ranked) {
        if (related.size() >= limit)
            break;
        if (const qsizetype index = m_host->indexOfItem(id); index >= 0)
            related.append(m_host->items().at(index));
    }
    return related;
}

std::optional<QList<VeskItem>> LibrarySearch::knownRelatedItems(const VeskItem& item, qsizetype limit)
{
    assertMainThread();
    if (m_host->items().size() < 2 || limit < 0)
        return QList<VeskItem>();
    SearchState& state = *m_state;
    // Words are read from the index, which must hold the library as it is (this also empties
    // the memo).
    if (state.itemsChangedSinceIndexing)
        rebuildIndex();
    const auto memo = state.relatedCache.constFind(item.id);
    if (memo == state.relatedCache.cend())
        return std::nullopt;
    return itemsOfRanking(*memo, limit);
}

QList<VeskItem> LibrarySearch::relatedItems(const VeskItem& item, qsizetype limit)
{
    if (auto known = knownRelatedItems(item, limit))
        return *known;
    settleVectors();
    SearchState& state = *m_state;
    const QDateTime now = m_services.clock->now();
    RelatedItemsSignals sources;
    sources.now = now;
    if (state.vectors.contains(item.id)) {
        sources.vectorCosine = [&state, own = item.id](const QUuid& other) -> std::optional<double> {
            return state.vectors.cosine(own, other);
        };
    }
    const QHash<QUuid, double> usage = usageScoresByID(now);
    sources.usageScore = [&usage](const QUuid& other) { return usage.value(other, 0.0); };
    QList<QUuid> ranked = rankRelatedItems(item, m_host->items(), state.index, sources);
    ranked = ranked.first(std::min<qsizetype>(ranked.size(), std::max<qsizetype>(limit, 6)));
    state.relatedCache.insert(item.id, ranked);
    return itemsOfRanking(ranked, limit);
}

void LibrarySearch::rankRelatedItemsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
    std::function<void(const QList<VeskItem>&)> done)
{
    assertMainThread();
    SearchState& state = *m_state;
    // Until start-up has built the index there is nothing to rank against; the panels ask again
    // when search is ready.
    if (state.indexPending || limit < 0)
        return;
    if (state.itemsChangedSinceIndexing)
        rebuildIndex();
    // Only the item shown last matters: a ranking for one left behind stops at its next turn.
    if (state.relatedRanking)
        state.relatedRanking->cancel();
    const CancellationToken cancelled;
    state.relatedRanking = cancelled;

    keepPendingVectorsWhenFree();
    const QDateTime now = m_services.clock->now();
    const qsizetype keep = std::max<qsizetype>(limit, 6);
    const std::shared_ptr<ReadGate> gate = state.readGate;
    const SearchIndex* index = &state.index;
    const SemanticVectors* vectors = &state.vectors;
    const QFuture<QList<QUuid>> ranking = QtConcurrent::run(workPool(),
        handedOff([gate, index, vectors, item, usage = usageScoresByID(now), now, keep, cancelled]() -> QList<QUuid> {
            // A turn of a few hundred items: the main thread waits at most that long to change
            // the index or the vectors.
            constexpr quint32 turn = 512;
            std::unique_ptr<RelatedRanking> ranked;
            if (!gate->readTurn([&] { ranked = std::make_unique<RelatedRanking>(item, *index, *vectors, usage, now); }))
                return {};
            for (quint32 from = 0;; from += turn) {
                if (cancelled.isCancelled())
                    return {};
                bool more = false;
                const bool read = gate->readTurn([&] {
                    more = from < index->slotCount();
                    if (more)
                        ranked->scoreSlots(*index, *vectors, from, from + turn);
                });
                if (!read)
                    return {};
                if (!more)
                    break;
            }
            return ranked->best(keep);
        }));
    const quint64 epoch = state.relatedCache.epoch;
    deliverResult(this, ranking,
        [this, id = item.id, limit, epoch, cancelled, receiver = QPointer<QObject>(receiver),
            done = std::move(done)](const QList<QUuid>& ranked) {
            const auto keepVectors = qScopeGuard([this] { keepVectorsAfterRead(); });
            if (cancelled.isCancelled())
                return;
            SearchState& state = *m_state;
            // Ranked against a library that changed meanwhile, it is still shown (the panels
            // ask again after a change) but not remembered.
            if (state.relatedCache.epoch == epoch)
                state.relatedCache.insert(id, ranked);
            if (receiver)
                done(itemsOfRanking(ranked, limit));
        });
}

} // namespace vesk
