// The store's search operations: the index, the lexical refresh, the deep-search task and the
// usage signals.
#include "store/SearchState.h"

#include "platform/Uuid.h"
#include "search/DeepSearch.h"
#include "search/IndexAnchorOverlaps.h"
#include "search/LexicalMatch.h"
#include "search/Ranking.h"

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
    const QHash<QUuid, QString> names = poolNames(m_faceClustersCache);
    QHash<QUuid, QSet<QString>> byItem;
    if (names.isEmpty())
        return byItem;
    for (const VeskFaceRecord& face : m_faceRecordsCache) {
        if (!face.clusterID)
            continue;
        if (auto name = names.constFind(*face.clusterID); name != names.cend())
            byItem[face.veskID].insert(*name);
    }
    return byItem;
}

void VeskStore::rebuildSearchIndex()
{
    assertMainThread();
    SearchState& state = searchState();
    if (!state.watchingItems) {
        state.watchingItems = true;
        connect(this, &VeskStore::itemsChanged, this,
            [this] { searchState().itemsChangedSinceIndexing = true; });
    }
    // Only what changed since the last build is indexed again; the result is that of a build
    // from scratch.
    state.index.synchronize(m_items, personNamesByItem(), manualTagsByItem(state.manualTagsByID));
    state.itemsChangedSinceIndexing = false;
    state.relatedCache.clear();
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
    std::vector<RankedSlot> rankedSlots;
    const LexicalSnapshot snapshot = vesk::lexicalMatch(state.index, query, rankedSlots);
    if (snapshot.query.isEmpty()) {
        if (state.deepSearchTask)
            state.deepSearchTask->cancel();
        state.deepSearchTask.reset();
        setRetrievalHints({});
        setFilteredItems(defaultOrder(m_items, m_broughtBackIDs));
        return;
    }

    // The index holds each item as it stands in items(), so the hits are taken from there
    // instead of searching the whole list.
    const QDateTime now = m_services.clock->now();
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QHash<QUuid, double> usage;
    for (auto it = state.usageSignals.cbegin(); it != state.usageSignals.cend(); ++it) {
        if (const auto id = keyID(it.key()); id && snapshot.scores.contains(*id))
            usage.insert(*id, vesk::usageScore(*it, now));
    }
    struct Ranked {
        const VeskItem* item;
        qint64 step; // rankingStep of the final score
        qint64 createdAtMs;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(rankedSlots.size());
    for (const RankedSlot& hit : rankedSlots) {
        const qint64 createdAtMs = state.index.createdAtMsAt(hit.slot);
        double score = hit.score + recencyBonus(createdAtMs, nowMs);
        if (!usage.isEmpty())
            score += 0.9 * usage.value(state.index.idAt(hit.slot), 0.0);
        ranked.push_back({&state.index.entry(hit.slot).source, rankingStep(score), createdAtMs});
    }
    // The order of sortRankedItems, on light records instead of whole items.
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        return a.step != b.step ? a.step > b.step : a.createdAtMs > b.createdAtMs;
    });

    QList<VeskItem> results;
    results.reserve(qsizetype(ranked.size()));
    QHash<QUuid, QString> hints;
    for (const Ranked& entry : ranked) {
        if (results.size() < 6) {
            if (auto hint = snapshot.hints.constFind(entry.item->id); hint != snapshot.hints.cend())
                hints.insert(entry.item->id, *hint);
        }
        results.append(*entry.item);
    }
    setFilteredItems(results);
    setRetrievalHints(hints);
}

void VeskStore::startDeepSearch(const QString& query)
{
    assertMainThread();
    SearchState& state = searchState();
    if (state.deepSearchTask)
        state.deepSearchTask->cancel();
    const LexicalSnapshot snapshot = lexicalMatch(query);
    if (snapshot.query.isEmpty()) {
        setRetrievalHints({});
        setFilteredItems(defaultOrder(m_items, m_broughtBackIDs));
        return;
    }
    const CancellationToken token;
    state.deepSearchTask = token;
    whenEmbedded(snapshot.query, [this, snapshot, token](const std::optional<QList<double>>& vector) {
        finishDeepSearch(snapshot, token, vector);
    });
}

void VeskStore::finishDeepSearch(const LexicalSnapshot& snapshot, const CancellationToken& token,
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
    const SearchIndex& index = state.index;
    const DeepSearchInput input{snapshot, queryVector, m_items, m_semanticVectors,
        [&index](const QList<QUuid>& anchors) { return std::make_unique<IndexAnchorOverlaps>(index, anchors); },
        usage, now, token, {}};
    const std::optional<DeepSearchResult> result = runDeepSearch(input);
    // A pass for a text that is no longer in the field shows nothing.
    if (!result || m_searchText.trimmed().toLower() != snapshot.query)
        return;
    setFilteredItems(result->items);
    setRetrievalHints(result->hints);
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
    const qsizetype index = indexOfItem(id);
    if (index < 0) {
        state.index.remove(id);
    } else {
        const QHash<QUuid, QString> names = poolNames(m_faceClustersCache);
        QSet<QString> people;
        for (const VeskFaceRecord& face : m_faceRecordsCache) {
            if (face.veskID == id && face.clusterID) {
                if (auto name = names.constFind(*face.clusterID); name != names.cend())
                    people.insert(*name);
            }
        }
        state.index.upsert(
            m_items[index], people, state.manualTagsByID.value(uuidString(id)));
    }
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
    m_services.settings->setData(usageDefaultsKey, encodeUsageSignals(searchState().usageSignals));
}

} // namespace vesk
