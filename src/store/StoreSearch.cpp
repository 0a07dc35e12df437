// The store's search operations: the index, the lexical refresh, the deep-search task and the
// usage signals.
#include "store/SearchState.h"

#include "platform/FutureDelivery.h"
#include "platform/ParallelWork.h"
#include "platform/Uuid.h"
#include "platform/WorkPool.h"
#include "search/DeepSearch.h"
#include "search/FewStepSort.h"
#include "search/IndexAnchorOverlaps.h"
#include "search/LexicalMatch.h"
#include "search/Ranking.h"
#include "store/LibraryReading.h"

#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

// The names of the named pools, trimmed; unnamed and blank pools have none.
QHash<QUuid, QString> poolNames(const QList<VeskFaceClusterRecord>& pools)
{
    QHash<QUuid, QString> names;
    for (const VeskFaceClusterRecord& pool : pools) {
        const QString name = pool.name.value_or(QString()).trimmed();
        if (!name.isEmpty())
            names.insert(pool.id, name);
    }
    return names;
}

// Keys of the stored states are identifiers as written by uuidString.
std::optional<QUuid> keyID(const QString& key)
{
    const QUuid id = QUuid::fromString(key);
    return id.isNull() ? std::nullopt : std::optional<QUuid>(id);
}

QHash<QUuid, QStringList> manualTagsByItem(const ManualTagMap& tags)
{
    QHash<QUuid, QStringList> byItem;
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
        if (const auto id = keyID(it.key()))
            byItem.insert(*id, *it);
    }
    return byItem;
}

} // namespace

std::shared_ptr<VeskStore::SearchState> VeskStore::makeSearchState()
{
    return std::make_shared<SearchState>();
}

void VeskStore::loadUsageSignals()
{
    searchState().usageSignals =
        decodeUsageSignals(m_services.settings->data(usageDefaultsKey)).value_or(UsageSignalMap());
}

void VeskStore::loadManualTags()
{
    searchState().manualTagsByID =
        decodeManualTags(m_services.settings->data(manualTagsDefaultsKey)).value_or(ManualTagMap());
}

QHash<QUuid, QSet<QString>> VeskStore::personNamesByItem() const
{
    return vesk::personNamesByItem(m_faceClustersCache, m_faceRecordsCache);
}

void VeskStore::watchItemsForIndexing()
{
    SearchState& state = searchState();
    if (state.watchingItems)
        return;
    state.watchingItems = true;
    connect(this, &VeskStore::itemsChanged, this, [this] { searchState().itemsChangedSinceIndexing = true; });
}

void VeskStore::rebuildSearchIndex()
{
    assertMainThread();
    SearchState& state = searchState();
    watchItemsForIndexing();
    const bool itemsChanged = state.itemsChangedSinceIndexing;
    if (itemsChanged) {
        // items() changed without naming its items: the kept order follows the whole list.
        state.order.reset(m_items, broughtBackIDs());
    }
    if (state.indexPending) {
        // Start-up is still building the index; it is brought up to date when it arrives.
        state.libraryChangedWhileIndexing = true;
        if (itemsChanged)
            state.nearDuplicates.rebuild(m_items);
    } else {
        // Only what changed since the last build is indexed again; the result is that of a build
        // from scratch.
        const bool wasEmpty = state.index.size() == 0;
        QList<QUuid> changed;
        {
            const ReadGate::Change change(*state.readGate);
            state.index.synchronize(m_items, personNamesByItem(), manualTagsByItem(state.manualTagsByID), &changed);
        }
        if (wasEmpty || changed.size() > m_items.size() / 4) {
            state.nearDuplicates.rebuild(m_items);
        } else {
            for (const QUuid& id : std::as_const(changed)) {
                if (const SearchRecord* record = state.index.record(id); !record)
                    state.nearDuplicates.remove(id);
                else if (const auto slot = state.index.slotOf(id))
                    state.nearDuplicates.upsert(state.index.entry(*slot).source);
            }
        }
    }
    state.itemsChangedSinceIndexing = false;
    state.relatedCache.clear();
}

void VeskStore::refreshIndexedItem(const QUuid& id)
{
    SearchState& state = searchState();
    const qsizetype index = indexOfItem(id);
    if (index < 0) {
        const ReadGate::Change change(*state.readGate);
        state.index.remove(id);
        return;
    }
    const QHash<QUuid, QString> names = poolNames(m_faceClustersCache);
    QSet<QString> people;
    for (const VeskFaceRecord& face : m_faceRecordsCache) {
        if (face.veskID == id && face.clusterID) {
            if (auto name = names.constFind(*face.clusterID); name != names.cend())
                people.insert(*name);
        }
    }
    const VeskItem& item = m_items.at(index);
    const QStringList manualTags = state.manualTagsByID.value(uuidString(id));
    if (!state.index.isCurrent(item, people, manualTags)) {
        const ReadGate::Change change(*state.readGate);
        state.index.upsert(item, people, manualTags);
    }
}

void VeskStore::publishDefaultOrder()
{
    SearchState& state = searchState();
    state.order.setBroughtBackIDs(broughtBackIDs());
    // The published list shares the kept one; a different list is a change.
    if (m_filteredItems.isSharedWith(state.order.items()))
        return;
    m_filteredItems = state.order.items();
    emit filteredItemsChanged();
}

LexicalSnapshot VeskStore::lexicalMatch(const QString& query) const
{
    return vesk::lexicalMatch(searchState().index, query);
}

void VeskStore::refreshFilteredItems(const QString& query)
{
    assertMainThread();
    SearchState& state = searchState();
    if (state.itemsChangedSinceIndexing)
        rebuildSearchIndex();
    if (query.trimmed().isEmpty()) {
        if (state.deepSearchTask)
            state.deepSearchTask->cancel();
        state.deepSearchTask.reset();
        setRetrievalHints({});
        publishDefaultOrder();
        return;
    }
    if (!m_searchReady) {
        // Answered once start-up has built the index; until then nothing is shown as a result.
        setRetrievalHints({});
        setFilteredItems({});
        return;
    }
    const LexicalHits found = lexicalHits(state.index, query);

    // The index holds each item as it stands in items(), so the hits are taken from there
    // instead of searching the whole list.
    const QDateTime now = m_services.clock->now();
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QHash<quint32, double> usage;
    for (auto it = state.usageSignals.cbegin(); it != state.usageSignals.cend(); ++it) {
        if (const auto id = keyID(it.key())) {
            if (const auto slot = state.index.slotOf(*id))
                usage.insert(*slot, vesk::usageScore(*it, now));
        }
    }
    struct Ranked {
        const LexicalHit* hit;
        qint64 step;        // rankingStep of the final score
        qint64 createdAtMs;
        qint64 lexicalStep; // rankingStep of the lexical score
    };
    std::vector<Ranked> ranked;
    ranked.reserve(found.hits.size());
    for (const LexicalHit& hit : found.hits) {
        const qint64 createdAtMs = state.index.createdAtMsAt(hit.slot);
        const double score = resultScore(hit.score, 0.0, createdAtMs, nowMs, usage.value(hit.slot, 0.0));
        ranked.push_back({&hit, rankingStep(score), createdAtMs, rankingStep(hit.score)});
    }
    // The order of sortRankedItems over the lexical ranking, on light records instead of whole
    // items: what it keeps in place on a tie is ordered as the lexical ranking orders it.
    sortByFewSteps(ranked, [](const Ranked& r) { return r.step; }, [&](const Ranked& a, const Ranked& b) {
        if (a.step != b.step)
            return a.step > b.step;
        if (a.createdAtMs != b.createdAtMs)
            return a.createdAtMs > b.createdAtMs;
        if (a.lexicalStep != b.lexicalStep)
            return a.lexicalStep > b.lexicalStep;
        return state.index.idAt(a.hit->slot) < state.index.idAt(b.hit->slot);
    });

    QHash<QUuid, QString> hints;
    for (size_t i = 0; i < std::min<size_t>(6, ranked.size()); ++i) {
        if (!ranked[i].hit->reason.isNull())
            hints.insert(state.index.idAt(ranked[i].hit->slot), ranked[i].hit->reason);
    }
    // A short query can match the whole library: the items are copied on all cores, since each
    // copy mostly waits on memory.
    QList<VeskItem> results(qsizetype(ranked.size()));
    VeskItem* const out = results.data();
    forChunksInParallel(ranked.size(), [&](size_t begin, size_t end) {
        // Each copy waits on the item and then on its texts' shared headers; asking for both
        // some items ahead lets those waits overlap.
        constexpr size_t kItemsAhead = 16;
        constexpr size_t kTextsAhead = 8;
        const auto source = [&](size_t i) -> const VeskItem& {
            return state.index.entry(ranked[i].hit->slot).source;
        };
        for (size_t i = begin; i < end; ++i) {
            if (i + kItemsAhead < end)
                __builtin_prefetch(&source(i + kItemsAhead));
            if (i + kTextsAhead < end) {
                const VeskItem& ahead = source(i + kTextsAhead);
                __builtin_prefetch(ahead.title.constData());
                __builtin_prefetch(ahead.searchableText.constData());
                if (ahead.text)
                    __builtin_prefetch(ahead.text->constData());
            }
            out[i] = source(i);
        }
    });
    setFilteredItems(results);
    setRetrievalHints(hints);
}

void VeskStore::startDeepSearch(const QString& query)
{
    assertMainThread();
    SearchState& state = searchState();
    if (state.deepSearchTask)
        state.deepSearchTask->cancel();
    // Whether the query is empty is told from its text; the match runs only for a query.
    if (query.trimmed().isEmpty()) {
        setRetrievalHints({});
        publishDefaultOrder();
        return;
    }
    const CancellationToken token;
    state.deepSearchTask = token;
    // The lexical pass's form of the query: what its snapshot names as the query.
    whenEmbedded(m_services.embeddings->embedQuery(query.trimmed().toLower()),
        [this, query, token](const std::optional<QList<double>>& vector) { finishDeepSearch(query, token, vector); });
}

namespace {

// What a deep pass hands back to the main thread: the query it answered, as the search text must
// still read it, and its result (none when it was cancelled).
struct DeepPassOutcome {
    QString query;
    std::optional<DeepSearchResult> result;
};

} // namespace

void VeskStore::finishDeepSearch(const QString& query, const CancellationToken& token,
    const std::optional<QList<double>>& queryVector)
{
    assertMainThread();
    if (token.isCancelled())
        return;
    SearchState& state = searchState();
    // Association tokens are read from the index, which must show the items as they are now.
    if (state.itemsChangedSinceIndexing)
        rebuildSearchIndex();
    const QDateTime now = m_services.clock->now();
    QHash<QUuid, double> usage;
    for (auto it = state.usageSignals.cbegin(); it != state.usageSignals.cend(); ++it) {
        if (const auto id = keyID(it.key()))
            usage.insert(*id, vesk::usageScore(*it, now));
    }
    // The pass reads a copy of the list (shared until the main thread changes its own), the few
    // usage scores, and the index and the vectors in one turn of the read gate: they stand still
    // while it reads them, and the main thread waits only if it changes them meanwhile.
    const std::shared_ptr<ReadGate> gate = state.readGate;
    const SearchIndex* index = &state.index;
    const SemanticVectors* vectors = &m_semanticVectors;
    const QFuture<DeepPassOutcome> pass = QtConcurrent::run(workPool(),
        [gate, index, vectors, items = m_items, query, queryVector, usage = std::move(usage), now, token] {
            DeepPassOutcome outcome;
            (void)gate->readTurn([&] {
                if (token.isCancelled())
                    return;
                const LexicalSnapshot snapshot = vesk::lexicalMatch(*index, query);
                outcome.query = snapshot.query;
                const DeepSearchInput input{snapshot, queryVector, items, *vectors,
                    [index](const QList<QUuid>& anchors) { return std::make_unique<IndexAnchorOverlaps>(*index, anchors); },
                    usage, now, token, {}};
                outcome.result = runDeepSearch(input);
            });
            return outcome;
        });
    deliverResult(this, pass, [this, token](const DeepPassOutcome& outcome) {
        // A pass for a text that is no longer in the field shows nothing.
        if (token.isCancelled() || !outcome.result || m_searchText.trimmed().toLower() != outcome.query)
            return;
        setFilteredItems(outcome.result->items);
        setRetrievalHints(outcome.result->hints);
    });
}

void VeskStore::refreshSearchAfterChange()
{
    assertMainThread();
    rebuildSearchIndex();
    refreshFilteredItems(m_searchText);
    startDeepSearch(m_searchText);
}

void VeskStore::refreshSearchAfterItemChange(const QUuid& id)
{
    assertMainThread();
    SearchState& state = searchState();
    // The published list lets go of the kept order while it changes, so that the change does not
    // copy the whole library first; it is published again below.
    if (m_filteredItems.isSharedWith(state.order.items()))
        m_filteredItems = QList<VeskItem>();

    const qsizetype index = indexOfItem(id);
    if (index < 0) {
        state.order.remove(id);
        state.nearDuplicates.remove(id);
    } else {
        const VeskItem& item = m_items.at(index);
        if (state.order.contains(id))
            state.order.update(item);
        else if (index == 0)
            state.order.prepend(item);
        else
            state.order.reset(m_items, broughtBackIDs());
        state.nearDuplicates.upsert(item);
    }
    // A change that was not the one named here leaves the order behind; it is made anew.
    if (state.order.size() != m_items.size())
        state.order.reset(m_items, broughtBackIDs());

    if (state.indexPending)
        state.changedWhileIndexing.insert(id);
    else
        refreshIndexedItem(id);
    // The caller names the one item that changed, so the index is up to date again.
    state.itemsChangedSinceIndexing = false;
    state.relatedCache.clear();
    refreshFilteredItems(m_searchText);
    startDeepSearch(m_searchText);
}

void VeskStore::refreshSearchAfterFaceChange()
{
    assertMainThread();
    rebuildSearchIndex();
    if (m_searchText.trimmed().isEmpty())
        return;
    refreshFilteredItems(m_searchText);
    startDeepSearch(m_searchText);
}

void VeskStore::recordUsage(const QUuid& id)
{
    assertMainThread();
    SearchState& state = searchState();
    const QString key = uuidString(id);
    const auto previous = state.usageSignals.constFind(key);
    const std::optional<UsageSignal> existing = previous != state.usageSignals.cend()
        ? std::optional<UsageSignal>(*previous)
        : std::nullopt;
    state.usageSignals.insert(key, recordedUse(existing, m_services.clock->now()));
    saveUsageSignals();
    state.relatedCache.clear();
}

double VeskStore::usageScore(const QUuid& id, const QDateTime& now) const
{
    const UsageSignalMap& signalMap = searchState().usageSignals;
    const auto found = signalMap.constFind(uuidString(id));
    if (found == signalMap.cend())
        return 0.0;
    return vesk::usageScore(*found, now);
}

void VeskStore::saveUsageSignals()
{
    // Uses are remembered for this run only: a settings file that cannot be written would say so
    // at every item opened.
    if (readOnlyReason())
        return;
    m_services.settings->setData(usageDefaultsKey, encodeUsageSignals(searchState().usageSignals));
}

} // namespace vesk
