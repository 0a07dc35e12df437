// The store's side of search: the operations it forwards to LibrarySearch, and what it gives
// the area to read and publish through.
#include "store/VeskStore.h"
#include "store/LibraryItems.h"

#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "search/LexicalMatch.h"
#include "search/SemanticEmbeddingEngine.h"
#include "store/CaptureRowWriter.h"
#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"
#include "store/LibraryReading.h"
#include "store/LibrarySearch.h"
#include "store/LibrarySearchHost.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

class VeskStore::SearchHost final : public LibrarySearchHost {
public:
    explicit SearchHost(VeskStore& store) : m_store(store) {}

    const QList<VeskItem>& items() const override { return m_store.items(); }
    ItemsReading itemsReading() const override { return m_store.m_library->reading(); }
    qsizetype indexOfItem(const QUuid& id) const override { return m_store.indexOfItem(id); }
    const QSet<QUuid>& broughtBackIDs() const override { return m_store.broughtBackIDs(); }
    QHash<QUuid, QSet<QString>> personNamesByItem() const override { return m_store.personNamesByItem(); }
    QSet<QString> personNamesOf(const QUuid& id) const override
    {
        QHash<QUuid, QString> names;
        for (const VeskFaceClusterRecord& pool : m_store.faceClustersCache()) {
            const QString name = pool.name.value_or(QString()).trimmed();
            if (!name.isEmpty())
                names.insert(pool.id, name);
        }
        QSet<QString> people;
        for (const VeskFaceRecord& face : m_store.faceRecordsCache()) {
            if (face.veskID == id && face.clusterID) {
                if (auto name = names.constFind(*face.clusterID); name != names.cend())
                    people.insert(*name);
            }
        }
        return people;
    }
    const QString& searchText() const override { return m_store.searchText(); }
    void setSearchText(const QString& text) override { m_store.setSearchText(text); }
    bool searchReady() const override { return m_store.searchReady(); }
    const QList<VeskItem>& filteredItems() const override { return m_store.filteredItems(); }
    void setFilteredItems(const QList<VeskItem>& items) override { m_store.m_library->setFilteredItems(items); }
    void replaceFilteredItems(const QList<VeskItem>& items) override
    {
        m_store.m_library->replaceFilteredItems(items);
    }
    void releaseFilteredItems() override { m_store.m_library->releaseFilteredItems(); }
    void setRetrievalHints(const QHash<QUuid, QString>& hints) override { m_store.setRetrievalHints(hints); }
    bool readOnly() const override { return m_store.readOnlyReason().has_value(); }
    bool refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen) override
    {
        return m_store.refuseWhileReadOnly(title, whatDidNotHappen);
    }
    void adjustIndexingCount(int delta) override
    {
        m_store.setIndexingCount(std::max(0, m_store.indexingCount() + delta));
    }
    void writeEmbedding(const QUuid& id, const QList<double>& vector) override;

private:
    VeskStore& m_store;
};

void VeskStore::SearchHost::writeEmbedding(const QUuid& id, const QList<double>& vector)
{
    if (m_store.readOnlyReason())
        return; // computed again at a start that can keep it
    if (m_store.libraryCheckPending()) {
        // Written once the library file has passed its check, after the rows waiting for it.
        VeskStore& store = m_store;
        store.m_health->afterLibraryCheck([&store, id, vector] {
            if (store.indexOfItem(id) >= 0)
                store.m_search->storeEmbedding(id, vector);
        });
        return;
    }
    // Written off the main thread: the vector is in memory already, and a flush to the disk (or a
    // wait behind another writer) would hold up the window.
    LibraryFile& file = *m_store.m_file;
    const QString model = m_store.m_services.embeddings->modelName();
    const std::shared_ptr<CaptureRowWriter> writer = file.backgroundWriter();
    if (!writer) {
        // A library that cannot take writes says why through its own connection.
        if (SQLiteDatabase* database = file.database()) {
            if (auto saved = database->updateEmbedding(id, model, vector); !saved)
                veskLog(QStringLiteral("Vesk embedding save error: ") + saved.error().logText());
        }
        return;
    }
    if (!writer->queueEmbedding(id, model, vector))
        return; // a flush is on its way and takes this one too
    file.captureWorker().run([writer] {
        for (const QString& failure : writer->writeQueuedEmbeddings())
            veskLog(QStringLiteral("Vesk embedding save error: ") + failure);
    });
}

void VeskStore::makeLibrarySearch()
{
    m_search = std::make_unique<LibrarySearch>(m_services, std::make_unique<SearchHost>(*this));
    connect(this, &VeskStore::itemsChanged, m_search.get(), [this] { m_search->noteItemsChanged(); });
}

QHash<QUuid, QSet<QString>> VeskStore::personNamesByItem() const
{
    return vesk::personNamesByItem(faceClustersCache(), faceRecordsCache());
}

// --- Forwarded operations ---

void VeskStore::rebuildSearchIndex() { m_search->rebuildIndex(); }
void VeskStore::refreshFilteredItems(const QString& query) { m_search->refreshFilteredItems(query); }
void VeskStore::refreshSearchAfterChange() { m_search->refreshAfterChange(); }
void VeskStore::startDeepSearch(const QString& query) { m_search->startDeepSearch(query); }
void VeskStore::recordUsage(const QUuid& id) { m_search->recordUsage(id); }
void VeskStore::refreshSearchAfterItemChange(const QUuid& id) { m_search->refreshAfterItemChange(id); }
void VeskStore::refreshSearchAfterFaceChange() { m_search->refreshAfterFaceChange(); }
LexicalSnapshot VeskStore::lexicalMatch(const QString& query) const { return m_search->lexicalMatch(query); }
double VeskStore::usageScore(const QUuid& id, const QDateTime& now) const { return m_search->usageScore(id, now); }
void VeskStore::saveUsageSignals() { m_search->saveUsageSignals(); }
QSet<QString> VeskStore::manualTags(const VeskItem& item) const { return m_search->manualTags(item); }
QStringList VeskStore::tags(const VeskItem& item) const { return m_search->tags(item); }
bool VeskStore::addManualTag(const QString& text, const VeskItem& item) { return m_search->addManualTag(text, item); }
void VeskStore::removeManualTag(const QString& text, const VeskItem& item) { m_search->removeManualTag(text, item); }
void VeskStore::searchForTag(const QString& text) { m_search->searchForTag(text); }
void VeskStore::saveManualTags() { m_search->saveManualTags(); }
void VeskStore::embedItems(const QList<VeskItem>& items) { m_search->embedItems(items); }
void VeskStore::embedItem(const VeskItem& item) { m_search->embedItem(item); }
const SemanticVectors& VeskStore::semanticVectors() const { return m_search->semanticVectors(); }

VeskItem VeskStore::sourceItem(const VeskItem& item) const { return m_search->sourceItem(item); }
QList<VeskItem> VeskStore::relatedVersions(const VeskItem& item, qsizetype limit) const
{
    return m_search->relatedVersions(item, limit);
}
CancellationToken VeskStore::findRelatedVersionsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
    std::function<void(const QList<VeskItem>&)> done) const
{
    return m_search->findRelatedVersionsLater(item, limit, receiver, std::move(done));
}
QList<VeskItem> VeskStore::relatedItems(const VeskItem& item, qsizetype limit)
{
    return m_search->relatedItems(item, limit);
}
std::optional<QList<VeskItem>> VeskStore::knownRelatedItems(const VeskItem& item, qsizetype limit)
{
    return m_search->knownRelatedItems(item, limit);
}
void VeskStore::rankRelatedItemsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
    std::function<void(const QList<VeskItem>&)> done)
{
    m_search->rankRelatedItemsLater(item, limit, receiver, std::move(done));
}

} // namespace vesk
