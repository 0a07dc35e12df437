// Sentence-embedding tasks: the start-up pass over items without a vector, and one item after
// each save.
#include "store/LibrarySearch.h"

#include "platform/FutureDelivery.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/Timers.h"
#include "platform/WorkPool.h"
#include "search/SemanticEmbeddingEngine.h"
#include "store/LibrarySearchHost.h"
#include "store/SearchState.h"

#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

// Inputs of more characters than this are put together off the main thread.
constexpr qsizetype kLongEmbeddingInput = 100'000;

// A vector that comes in while a pass reads the vectors waits beside them instead of holding up
// the main thread for the rest of the pass (a lexical or deep pass over a large library reads for
// tens of milliseconds, and embedding a library stores a vector every few).
constexpr int kPendingVectorsRetryMs = 10;

void insertPendingVectors(SearchState& state)
{
    for (const auto& [id, vector] : state.pendingVectors)
        state.vectors.insert(id, vector);
    state.pendingVectors.clear();
}

} // namespace

const SemanticVectors& LibrarySearch::semanticVectors() const
{
    settleVectors();
    return m_state->vectors;
}

void LibrarySearch::settleVectors() const
{
    SearchState& state = *m_state;
    if (state.pendingVectors.empty())
        return;
    const ReadGate::Change change(*state.readGate);
    insertPendingVectors(state);
}

void LibrarySearch::keepPendingVectorsWhenFree()
{
    SearchState& state = *m_state;
    if (state.pendingVectors.empty())
        return;
    {
        const ReadGate::TryChange change(*state.readGate);
        if (change.held()) {
            insertPendingVectors(state);
            return;
        }
    }
    if (!m_pendingVectorsRetry) {
        m_pendingVectorsRetry = m_services.timers->after(kPendingVectorsRetryMs, this, [this] {
            m_pendingVectorsRetry.reset();
            // Related items ranked while the vectors waited did not see them.
            if (!m_state->pendingVectors.empty())
                m_state->relatedCache.clear();
            keepVectorsAfterRead();
        });
    }
}

void LibrarySearch::keepVectorsAfterRead()
{
    keepPendingVectorsWhenFree();
    if (m_state->pendingVectors.empty() && std::exchange(m_rerunWhenVectorsKept, false))
        rerunPasses();
}

void LibrarySearch::rerunPassesWithAllVectors()
{
    keepPendingVectorsWhenFree();
    if (m_state->pendingVectors.empty())
        rerunPasses();
    else
        m_rerunWhenVectorsKept = true;
}

void LibrarySearch::replaceVectors(SemanticVectors vectors)
{
    settleVectors();
    const ReadGate::Change change(*m_state->readGate);
    m_state->vectors = std::move(vectors);
}

void LibrarySearch::adoptStoredVectors(SemanticVectors vectors)
{
    assertMainThread();
    settleVectors();
    SearchState& state = *m_state;
    // Vectors stored meanwhile (items added or edited since start-up) are newer than those read.
    for (const VeskItem& item : m_host->items()) {
        if (state.vectors.contains(item.id))
            vectors.insertFrom(state.vectors, item.id);
    }
    replaceVectors(std::move(vectors));
    // Related items ranked meanwhile knew nothing of meaning.
    state.relatedCache.clear();
}

void LibrarySearch::startMissingEmbeddings()
{
    // Runs after start-up on the main thread, on a turn of its own (a large library is a long
    // list), and not at all once the area is gone.
    QTimer::singleShot(0, this, [this] {
        settleVectors();
        QList<VeskItem> missing;
        for (const VeskItem& item : m_host->items()) {
            if (!m_state->vectors.contains(item.id))
                missing.append(item);
        }
        if (!missing.isEmpty())
            embedItems(missing);
    });
}

void LibrarySearch::whenEmbedded(
    QFuture<std::optional<QList<double>>> embedding, std::function<void(const std::optional<QList<double>>&)> then)
{
    // Delivered from the event loop even when the engine answers at once: the rest of a task
    // never runs inside its caller, and a long list of items yields the main thread at every item.
    deliverResult(this, embedding, std::move(then));
}

void LibrarySearch::whenItemEmbedded(
    const VeskItem& item, std::function<void(const std::optional<QList<double>>&)> then)
{
    const qsizetype length = item.title.size() + item.note.size() + item.searchableText.size()
        + (item.text ? item.text->size() : 0);
    if (length < kLongEmbeddingInput) {
        whenEmbedded(m_services.embeddings->embed(embeddingInputText(item)), std::move(then));
        return;
    }
    // Joining the parts of a text of megabytes copies them all: done on a worker.
    deliverResult(this, QtConcurrent::run(workPool(), handedOff([item] { return embeddingInputText(item); })),
        [this, then = std::move(then)](const QString& text) mutable {
            whenEmbedded(m_services.embeddings->embed(text), std::move(then));
        });
}

void LibrarySearch::storeEmbedding(const QUuid& id, const QList<double>& vector)
{
    m_state->pendingVectors.emplace_back(id, vector);
    keepPendingVectorsWhenFree();
    m_host->writeEmbedding(id, vector);
}

void LibrarySearch::embedItems(const QList<VeskItem>& items)
{
    assertMainThread();
    embedNextItem(std::make_shared<const QList<VeskItem>>(items), 0);
}

void LibrarySearch::embedNextItem(std::shared_ptr<const QList<VeskItem>> items, qsizetype next)
{
    if (next >= items->size()) {
        // Search is refreshed once, after the whole list, and sees all of its vectors.
        m_state->relatedCache.clear();
        rerunPassesWithAllVectors();
        return;
    }
    const VeskItem& item = items->at(next);
    m_host->adjustIndexingCount(+1);
    whenItemEmbedded(item,
        [this, items, next](const std::optional<QList<double>>& vector) {
            // Nothing back leaves an earlier vector of the item as it was.
            if (vector)
                storeEmbedding(items->at(next).id, *vector);
            m_host->adjustIndexingCount(-1);
            embedNextItem(items, next + 1);
        });
}

void LibrarySearch::embedItem(const VeskItem& item)
{
    assertMainThread();
    m_host->adjustIndexingCount(+1);
    // The item as it was handed over, not a fresh copy: a later edit starts its own task.
    whenItemEmbedded(item, [this, id = item.id](const std::optional<QList<double>>& vector) {
        if (vector)
            storeEmbedding(id, *vector);
        m_state->relatedCache.clear();
        m_host->adjustIndexingCount(-1);
        rerunPassesWithAllVectors();
    });
}

} // namespace vesk
