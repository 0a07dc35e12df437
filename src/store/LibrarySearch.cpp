// The search area's index and its two passes: the lexical refresh as the user types, and the
// deep pass over words and meaning at a pause.
#include "store/LibrarySearch.h"

#include "platform/BackgroundRelease.h"
#include "platform/FutureDelivery.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/Uuid.h"
#include "platform/WorkPool.h"
#include "search/DeepSearch.h"
#include "search/IndexAnchorOverlaps.h"
#include "search/LexicalMatch.h"
#include "store/CapturePreparation.h"
#include "store/LibrarySearchHost.h"
#include "store/LibrarySearchLexical.h"
#include "store/SearchState.h"
#include "store/SearchTextPipeline.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

// Keys of the stored states are identifiers as written by uuidString.
std::optional<QUuid> keyID(const QString& key)
{
    const QUuid id = QUuid::fromString(key);
    return id.isNull() ? std::nullopt : std::optional<QUuid>(id);
}

} // namespace

LibrarySearch::LibrarySearch(VeskServices services, std::unique_ptr<LibrarySearchHost> host, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_host(std::move(host)),
      m_state(std::make_shared<SearchState>())
{
    m_state->readGate = m_host->itemsReading().gate;
}

LibrarySearch::~LibrarySearch()
{
    stopReading();
}

void LibrarySearch::stopReading()
{
    m_state->readGate->close();
    m_state->nearDuplicateGate->close();
}

void LibrarySearch::assertMainThread() const
{
    Q_ASSERT_X(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread(),
               "LibrarySearch", "search used off the main thread");
}

void LibrarySearch::startPipelines()
{
    m_lexicalPipeline = std::make_unique<SearchTextPipeline>(m_services.lexicalSearchDelayMs,
        [this](const QString& text) { runLexicalPass(text); });
    m_deepPipeline = std::make_unique<SearchTextPipeline>(m_services.deepSearchDelayMs,
        [this](const QString& text) { startDeepSearch(text); });
    // Both subscriptions start from the current text, so both passes run once after start-up.
    searchTextChanged(m_host->searchText());
}

void LibrarySearch::searchTextChanged(const QString& text)
{
    if (!m_lexicalPipeline)
        return;
    m_lexicalPipeline->send(text);
    m_deepPipeline->send(text);
}

void LibrarySearch::noteItemsChanged()
{
    m_state->itemsChangedSinceIndexing = true;
}

QHash<QUuid, QStringList> LibrarySearch::manualTagsByItem() const
{
    QHash<QUuid, QStringList> byItem;
    for (auto it = m_state->manualTagsByID.cbegin(); it != m_state->manualTagsByID.cend(); ++it) {
        if (const auto id = keyID(it.key()))
            byItem.insert(*id, *it);
    }
    return byItem;
}

// --- Start-up ---

void LibrarySearch::showNewestFirst()
{
    m_state->order.follow(m_host->items(), {});
    m_host->setFilteredItems(m_state->order.items());
}

void LibrarySearch::beginIndexingInBackground()
{
    m_state->itemsChangedSinceIndexing = false;
    m_state->indexPending = true;
    showNewestFirst();
}

void LibrarySearch::takeLoadedOrder(DefaultOrder order, const QList<QUuid>& removed,
    const QList<VeskItem>& changed, const QList<VeskItem>& added)
{
    SearchState& state = *m_state;
    state.order = std::move(order);
    for (const QUuid& id : removed)
        state.order.remove(id);
    for (const VeskItem& item : changed)
        state.order.update(item);
    for (auto it = added.crbegin(); it != added.crend(); ++it)
        state.order.prepend(*it);
    // Read in order, the library is its own default order: the order shares its list from now on
    // instead of holding a second copy of every item.
    state.order.bind(m_host->items());
}

void LibrarySearch::updateInDefaultOrder(const VeskItem& item)
{
    m_state->order.update(item);
}

void LibrarySearch::beginIndexBuild()
{
    SearchState& state = *m_state;
    state.itemsChangedSinceIndexing = false;
    state.changedWhileIndexing.clear();
    state.libraryChangedWhileIndexing = false;
}

void LibrarySearch::resetToItems()
{
    {
        const ReadGate::Change change(*m_state->nearDuplicateGate);
        m_state->nearDuplicates.rebuild(m_host->items());
    }
    showNewestFirst();
}

void LibrarySearch::adoptIndex(SearchIndex index)
{
    assertMainThread();
    SearchState& state = *m_state;
    {
        const ReadGate::Change change(*state.readGate);
        state.index = std::move(index);
    }
    state.indexPending = false;
    if (state.libraryChangedWhileIndexing) {
        state.itemsChangedSinceIndexing = true;
        rebuildIndex();
    } else {
        for (const QUuid& id : std::as_const(state.changedWhileIndexing))
            refreshIndexedItem(id);
    }
    state.changedWhileIndexing.clear();
    state.libraryChangedWhileIndexing = false;
    state.relatedCache.clear();
}

void LibrarySearch::finishWithoutIndex()
{
    SearchState& state = *m_state;
    {
        const ReadGate::Change change(*state.readGate);
        state.index = SearchIndex();
    }
    state.indexPending = false;
    state.changedWhileIndexing.clear();
    state.libraryChangedWhileIndexing = false;
}

void LibrarySearch::adoptNearDuplicates(NearDuplicateIndex index)
{
    const ReadGate::Change change(*m_state->nearDuplicateGate);
    m_state->nearDuplicates = std::move(index);
}

// --- The index ---

void LibrarySearch::rebuildIndex()
{
    assertMainThread();
    SearchState& state = *m_state;
    const QList<VeskItem>& items = m_host->items();
    const bool itemsChanged = state.itemsChangedSinceIndexing;
    if (itemsChanged) {
        // items() changed without naming its items: the kept order follows the whole list.
        state.order.follow(items, m_host->broughtBackIDs());
    }
    if (state.indexPending) {
        // Start-up is still building the index; it is brought up to date when it arrives.
        state.libraryChangedWhileIndexing = true;
        if (itemsChanged) {
            const ReadGate::Change change(*state.nearDuplicateGate);
            state.nearDuplicates.rebuild(items);
        }
    } else {
        // Only what changed since the last build is indexed again; the result is that of a build
        // from scratch.
        const bool wasEmpty = state.index.size() == 0;
        QList<QUuid> changed;
        {
            const ReadGate::Change change(*state.readGate);
            state.index.synchronize(items, m_host->personNamesByItem(), manualTagsByItem(), &changed);
        }
        const ReadGate::Change change(*state.nearDuplicateGate);
        if (wasEmpty || changed.size() > items.size() / 4) {
            state.nearDuplicates.rebuild(items);
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

void LibrarySearch::refreshIndexedItem(const QUuid& id)
{
    SearchState& state = *m_state;
    const qsizetype index = m_host->indexOfItem(id);
    if (index < 0) {
        const ReadGate::Change change(*state.readGate);
        state.index.remove(id);
        return;
    }
    const QSet<QString> people = m_host->personNamesOf(id);
    const VeskItem& item = m_host->items().at(index);
    const QStringList manualTags = state.manualTagsByID.value(uuidString(id));
    if (!state.index.isCurrent(item, people, manualTags)) {
        const ReadGate::Change change(*state.readGate);
        state.index.upsert(item, people, manualTags);
    }
}

QList<QUuid> LibrarySearch::nearDuplicateCandidates(const NearDuplicateQuery& query) const
{
    return m_state->nearDuplicates.candidates(query);
}

NearDuplicateReading LibrarySearch::nearDuplicateReading() const
{
    return NearDuplicateReading{m_state->nearDuplicateGate, &m_state->nearDuplicates};
}

void LibrarySearch::applyPreparedCapture(const PreparedCapture& capture, const VeskItem& item)
{
    if (capture.searchEntry) {
        const ReadGate::Change change(*m_state->readGate);
        m_state->index.apply(*capture.searchEntry, item, {}, {});
    }
    if (capture.nearDuplicateEntry) {
        const ReadGate::Change change(*m_state->nearDuplicateGate);
        m_state->nearDuplicates.apply(*capture.nearDuplicateEntry, item);
    }
}

void LibrarySearch::publishDefaultOrder()
{
    SearchState& state = *m_state;
    forgetLexicalLists();
    state.order.setBroughtBackIDs(m_host->broughtBackIDs());
    state.order.rejoin();
    // The published list shares the kept one; a different list is a change.
    if (m_host->filteredItems().isSharedWith(state.order.items()))
        return;
    m_host->replaceFilteredItems(state.order.items());
}

LexicalSnapshot LibrarySearch::lexicalMatch(const QString& query) const
{
    return vesk::lexicalMatch(m_state->index, query);
}

// --- The lexical pass ---

bool LibrarySearch::answeredWithoutRanking(const QString& query)
{
    SearchState& state = *m_state;
    // A pass still running on a worker was asked before this one: it publishes nothing.
    if (state.lexicalPass) {
        state.lexicalPass->cancel();
        state.lexicalPass.reset();
    }
    if (state.itemsChangedSinceIndexing)
        rebuildIndex();
    if (query.trimmed().isEmpty()) {
        if (state.deepSearchTask)
            state.deepSearchTask->cancel();
        state.deepSearchTask.reset();
        m_host->setRetrievalHints({});
        publishDefaultOrder();
        return true;
    }
    if (!m_host->searchReady()) {
        // Answered once start-up has built the index; until then nothing is shown as a result.
        forgetLexicalLists();
        m_host->setRetrievalHints({});
        m_host->setFilteredItems({});
        return true;
    }
    return false;
}

void LibrarySearch::refreshFilteredItems(const QString& query)
{
    assertMainThread();
    if (answeredWithoutRanking(query))
        return;
    const QDateTime now = m_services.clock->now();
    publishLexicalResult(rankLexicalHits(m_state->index, query, usageScoresByID(now), now, {}, listToReuse()));
}

LexicalList LibrarySearch::listToReuse()
{
    SearchState& state = *m_state;
    std::optional<LexicalList> list = std::exchange(state.earlierLexicalList, std::nullopt);
    // The last list while it is still shown stays for the pass after this one.
    if (!list && state.shownLexicalList && state.shownLexicalList->items.isShared())
        return {};
    if (!list)
        list = std::exchange(state.shownLexicalList, std::nullopt);
    return list ? std::move(*list) : LexicalList();
}

void LibrarySearch::publishLexicalResult(LexicalPassResult&& result)
{
    SearchState& state = *m_state;
    m_host->setFilteredItems(result.items);
    m_host->setRetrievalHints(result.hints);
    // The list shown until now is held by the store no more: it is the next pass's to reuse.
    if (state.earlierLexicalList)
        releaseInBackground(std::move(state.earlierLexicalList->items));
    state.earlierLexicalList = std::exchange(state.shownLexicalList, std::move(result.list));
}

void LibrarySearch::forgetLexicalLists()
{
    SearchState& state = *m_state;
    for (std::optional<LexicalList>* list : {&state.shownLexicalList, &state.earlierLexicalList}) {
        if (*list)
            releaseInBackground(std::move((*list)->items));
        list->reset();
    }
}

void LibrarySearch::runLexicalPass(const QString& query)
{
    assertMainThread();
    SearchState& state = *m_state;
    // A small library is ranked within a frame: answered at once, as an explicit refresh is.
    if (state.index.size() < lexicalPassOnWorkerFrom) {
        refreshFilteredItems(query);
        return;
    }
    if (answeredWithoutRanking(query))
        return;
    const CancellationToken token;
    state.lexicalPass = token;
    const QDateTime now = m_services.clock->now();
    // The pass reads the index in one turn of the read gate: it stands still while the pass
    // reads it, and the main thread waits only if it changes it meanwhile.
    const std::shared_ptr<ReadGate> gate = state.readGate;
    const SearchIndex* index = &state.index;
    // Held by pointer: a copy of the list left in the task would keep it from being reused.
    const auto reuse = std::make_shared<LexicalList>(listToReuse());
    const QFuture<std::shared_ptr<LexicalPassResult>> pass = QtConcurrent::run(workPool(),
        handedOff([gate, index, query, usage = usageScoresByID(now), now, token, reuse] {
            auto result = std::make_shared<LexicalPassResult>();
            (void)gate->readTurn([&] {
                if (!token.isCancelled())
                    *result = rankLexicalHits(*index, query, usage, now, token, std::move(*reuse));
            });
            return result;
        }));
    deliverResult(this, pass, [this, query, token](const std::shared_ptr<LexicalPassResult>& result) {
        const auto keepVectors = qScopeGuard([this] { keepVectorsAfterRead(); });
        // A pass for a text that is no longer in the field shows nothing; nor does one that a
        // newer pass (or the deep pass of the same text) has overtaken. What it found may hold
        // the whole library: it is freed on a worker.
        if (token.isCancelled() || m_host->searchText() != query) {
            releaseInBackground(std::move(result->items));
            releaseInBackground(std::move(result->list.items));
            return;
        }
        m_state->lexicalPass.reset();
        publishLexicalResult(std::move(*result));
        // The task's own handle on the list would keep it from being reused.
        result->items = QList<VeskItem>();
    });
}

// --- The deep pass ---

void LibrarySearch::startDeepSearch(const QString& query)
{
    assertMainThread();
    SearchState& state = *m_state;
    if (state.deepSearchTask)
        state.deepSearchTask->cancel();
    // Whether the query is empty is told from its text; the match runs only for a query.
    if (query.trimmed().isEmpty()) {
        m_host->setRetrievalHints({});
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

void LibrarySearch::finishDeepSearch(const QString& query, const CancellationToken& token,
    const std::optional<QList<double>>& queryVector)
{
    assertMainThread();
    if (token.isCancelled())
        return;
    SearchState& state = *m_state;
    // Association tokens are read from the index, which must show the items as they are now.
    if (state.itemsChangedSinceIndexing)
        rebuildIndex();
    // Vectors that came in while another pass read are kept first, unless a pass still reads.
    keepPendingVectorsWhenFree();
    const QDateTime now = m_services.clock->now();
    QHash<QUuid, double> usage = usageScoresByID(now);
    // The pass reads the few usage scores, and the library's list, the index and the vectors in
    // one turn of the read gate: they stand still while it reads them, and the main thread waits
    // only if it changes them meanwhile. A copy of the list held by the pass would make an item
    // put at the front meanwhile copy the whole library.
    const std::shared_ptr<ReadGate> gate = state.readGate;
    const QList<VeskItem>* items = m_host->itemsReading().items;
    const SearchIndex* index = &state.index;
    const SemanticVectors* vectors = &state.vectors;
    const QFuture<DeepPassOutcome> pass = QtConcurrent::run(workPool(),
        handedOff([gate, index, vectors, items, query, queryVector, usage = std::move(usage), now, token] {
            DeepPassOutcome outcome;
            (void)gate->readTurn([&] {
                if (token.isCancelled())
                    return;
                const LexicalSnapshot snapshot = vesk::lexicalMatch(*index, query);
                outcome.query = snapshot.query;
                const DeepSearchInput input{snapshot, queryVector, *items, *vectors,
                    [index](const QList<QUuid>& anchors) { return std::make_unique<IndexAnchorOverlaps>(*index, anchors); },
                    usage, now, token, {}};
                outcome.result = runDeepSearch(input);
            });
            return outcome;
        }));
    deliverResult(this, pass, [this, token](const DeepPassOutcome& outcome) {
        const auto keepVectors = qScopeGuard([this] { keepVectorsAfterRead(); });
        // A pass for a text that is no longer in the field shows nothing.
        if (token.isCancelled() || !outcome.result || m_host->searchText().trimmed().toLower() != outcome.query)
            return;
        // Its items take in the lexical hits: a lexical pass still running for the same text
        // would only take them away again.
        if (m_state->lexicalPass) {
            m_state->lexicalPass->cancel();
            m_state->lexicalPass.reset();
        }
        forgetLexicalLists();
        m_host->setFilteredItems(outcome.result->items);
        m_host->setRetrievalHints(outcome.result->hints);
    });
}

// --- Refreshing after changes ---

void LibrarySearch::rerunPasses()
{
    const QString text = m_host->searchText();
    runLexicalPass(text);
    startDeepSearch(text);
}

void LibrarySearch::refreshAfterChange()
{
    assertMainThread();
    rebuildIndex();
    rerunPasses();
}

void LibrarySearch::refreshAfterItemChange(const QUuid& id)
{
    assertMainThread();
    SearchState& state = *m_state;
    const QList<VeskItem>& items = m_host->items();
    // The published list lets go of the kept order while it changes, so that the change does not
    // copy the whole library first; it is published again below. An order that is the library's
    // own list changes none.
    if (!state.order.sharesList() && m_host->filteredItems().isSharedWith(state.order.items()))
        m_host->releaseFilteredItems();

    const qsizetype index = m_host->indexOfItem(id);
    if (index < 0) {
        state.order.remove(id);
        const ReadGate::Change change(*state.nearDuplicateGate);
        state.nearDuplicates.remove(id);
    } else {
        const VeskItem& item = items.at(index);
        if (state.order.contains(id))
            state.order.update(item);
        else if (index == 0)
            state.order.prepend(item);
        else
            state.order.follow(items, m_host->broughtBackIDs());
        const ReadGate::Change change(*state.nearDuplicateGate);
        state.nearDuplicates.upsert(item);
    }
    // A change that was not the one named here leaves the order behind; it is made anew.
    if (state.order.size() != items.size())
        state.order.follow(items, m_host->broughtBackIDs());

    if (state.indexPending)
        state.changedWhileIndexing.insert(id);
    else
        refreshIndexedItem(id);
    // The caller names the one item that changed, so the index is up to date again.
    state.itemsChangedSinceIndexing = false;
    state.relatedCache.clear();
    rerunPasses();
}

bool LibrarySearch::followsItems() const
{
    return !m_state->itemsChangedSinceIndexing;
}

void LibrarySearch::refreshAfterItemsRemoved(const QSet<QUuid>& ids, bool followedBefore)
{
    assertMainThread();
    if (!followedBefore) {
        refreshAfterChange();
        return;
    }
    SearchState& state = *m_state;
    const QList<VeskItem>& items = m_host->items();
    // As in refreshAfterItemChange: the published list lets go of a kept order that changes.
    if (!state.order.sharesList() && m_host->filteredItems().isSharedWith(state.order.items()))
        m_host->releaseFilteredItems();
    state.order.removeAll(ids);
    if (state.order.size() != items.size())
        state.order.follow(items, m_host->broughtBackIDs());
    {
        const ReadGate::Change change(*state.nearDuplicateGate);
        for (const QUuid& id : ids)
            state.nearDuplicates.remove(id);
    }
    if (state.indexPending) {
        state.changedWhileIndexing.unite(ids);
    } else {
        // The texts of a long note take a while to free: on a worker.
        std::vector<SearchIndex::Entry> taken;
        {
            const ReadGate::Change change(*state.readGate);
            state.index.removeAll(ids, &taken);
        }
        releaseInBackground(std::move(taken));
    }
    state.itemsChangedSinceIndexing = false;
    state.relatedCache.clear();
    rerunPasses();
}

void LibrarySearch::refreshAfterFaceChange()
{
    assertMainThread();
    rebuildIndex();
    if (m_host->searchText().trimmed().isEmpty())
        return;
    rerunPasses();
}

} // namespace vesk
