// Sentence-embedding tasks: the start-up pass over items without a vector, and one item after
// each save.
#include "platform/Log.h"
#include "search/SemanticEmbeddingEngine.h"
#include "store/SQLiteDatabase.h"
#include "store/SearchState.h"
#include "store/VeskStore.h"

#include <QMetaObject>

namespace vesk {

void VeskStore::whenEmbedded(
    const QString& text, std::function<void(const std::optional<QList<double>>&)> then)
{
    // The continuation hops once more through the event loop, so that even an engine that
    // answers at once never runs the rest of a task inside its caller, and a long list of items
    // yields the main thread at every item.
    m_services.embeddings->embed(text).then(this,
        [this, then = std::move(then)](const std::optional<QList<double>>& vector) mutable {
            QMetaObject::invokeMethod(
                this, [then = std::move(then), vector] { then(vector); }, Qt::QueuedConnection);
        });
}

void VeskStore::storeEmbedding(const QUuid& id, const QList<double>& vector)
{
    m_semanticVectors.insert(id, vector);
    if (!m_database)
        return;
    if (auto saved = m_database->updateEmbedding(id, m_services.embeddings->modelName(), vector); !saved)
        veskLog(QStringLiteral("Vesk embedding save error: ") + saved.error().logText());
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
    whenEmbedded(embeddingInputText(item),
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
    whenEmbedded(embeddingInputText(item), [this, id = item.id](const std::optional<QList<double>>& vector) {
        if (vector)
            storeEmbedding(id, *vector);
        searchState().relatedCache.clear();
        setIndexingCount(std::max(0, m_indexingCount - 1));
        refreshFilteredItems(m_searchText);
        startDeepSearch(m_searchText);
    });
}

} // namespace vesk
