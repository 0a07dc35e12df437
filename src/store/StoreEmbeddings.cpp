// Sentence-embedding tasks: the start-up pass over items without a vector, and one item after
// each save.
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "search/SemanticEmbeddingEngine.h"
#include "platform/SerialExecutor.h"
#include "store/CaptureRowWriter.h"
#include "store/SQLiteDatabase.h"
#include "store/SearchState.h"
#include "store/VeskStore.h"
#include "platform/WorkPool.h"

#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {
// Inputs of more characters than this are put together off the main thread.
constexpr qsizetype kLongEmbeddingInput = 100'000;
} // namespace

void VeskStore::whenEmbedded(
    QFuture<std::optional<QList<double>>> embedding, std::function<void(const std::optional<QList<double>>&)> then)
{
    // Delivered from the event loop even when the engine answers at once: the rest of a task
    // never runs inside its caller, and a long list of items yields the main thread at every item.
    deliverResult(this, embedding, std::move(then));
}

void VeskStore::whenItemEmbedded(
    const VeskItem& item, std::function<void(const std::optional<QList<double>>&)> then)
{
    const qsizetype length = item.title.size() + item.note.size() + item.searchableText.size()
        + (item.text ? item.text->size() : 0);
    if (length < kLongEmbeddingInput) {
        whenEmbedded(m_services.embeddings->embed(embeddingInputText(item)), std::move(then));
        return;
    }
    // Joining the parts of a text of megabytes copies them all: done on a worker.
    deliverResult(this, QtConcurrent::run(workPool(), [item] { return embeddingInputText(item); }),
        [this, then = std::move(then)](const QString& text) mutable {
            whenEmbedded(m_services.embeddings->embed(text), std::move(then));
        });
}

void VeskStore::storeEmbedding(const QUuid& id, const QList<double>& vector)
{
    {
        const ReadGate::Change change(*searchState().readGate);
        m_semanticVectors.insert(id, vector);
    }
    if (readOnlyReason())
        return; // computed again at a start that can keep it
    if (libraryCheckPending()) {
        // Written once the library file has passed its check, after the rows waiting for it.
        afterLibraryCheck([this, id, vector] {
            if (indexOfItem(id) >= 0)
                storeEmbedding(id, vector);
        });
        return;
    }
    // Written off the main thread: the vector is in memory already, and a flush to the disk (or a
    // wait behind another writer) would hold up the window.
    const std::shared_ptr<CaptureRowWriter> writer = backgroundWriter();
    if (!writer) {
        // A library that cannot take writes says why through its own connection.
        if (m_database) {
            if (auto saved = m_database->updateEmbedding(id, m_services.embeddings->modelName(), vector); !saved)
                veskLog(QStringLiteral("Vesk embedding save error: ") + saved.error().logText());
        }
        return;
    }
    if (!writer->queueEmbedding(id, m_services.embeddings->modelName(), vector))
        return; // a flush is on its way and takes this one too
    m_captureWorker->run([writer] {
        for (const QString& failure : writer->writeQueuedEmbeddings())
            veskLog(QStringLiteral("Vesk embedding save error: ") + failure);
    });
}

void VeskStore::embedItems(const QList<VeskItem>& items)
{
    assertMainThread();
    embedNextItem(std::make_shared<const QList<VeskItem>>(items), 0);
}

void VeskStore::embedNextItem(std::shared_ptr<const QList<VeskItem>> items, qsizetype next)
{
    if (next >= items->size()) {
        // Search is refreshed once, after the whole list.
        searchState().relatedCache.clear();
        refreshFilteredItems(m_searchText);
        startDeepSearch(m_searchText);
        return;
    }
    const VeskItem& item = items->at(next);
    setIndexingCount(m_indexingCount + 1);
    whenItemEmbedded(item,
        [this, items, next](const std::optional<QList<double>>& vector) {
            // Nothing back leaves an earlier vector of the item as it was.
            if (vector)
                storeEmbedding(items->at(next).id, *vector);
            setIndexingCount(std::max(0, m_indexingCount - 1));
            embedNextItem(items, next + 1);
        });
}

void VeskStore::embedItem(const VeskItem& item)
{
    assertMainThread();
    setIndexingCount(m_indexingCount + 1);
    // The item as it was handed over, not a fresh copy: a later edit starts its own task.
    whenItemEmbedded(item, [this, id = item.id](const std::optional<QList<double>>& vector) {
        if (vector)
            storeEmbedding(id, *vector);
        searchState().relatedCache.clear();
        setIndexingCount(std::max(0, m_indexingCount - 1));
        refreshFilteredItems(m_searchText);
        startDeepSearch(m_searchText);
    });
}

} // namespace vesk
