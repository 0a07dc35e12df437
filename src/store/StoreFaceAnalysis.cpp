// The analysis of a newly imported picture: text, labels and faces found off the main thread and
// applied to the library on it.
#include "store/VeskStore.h"

#include "platform/Log.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

namespace {

constexpr int kThumbnailWarmUpSize = 520;

// Appends part to text, after a space, unless text already holds it.
void appendMissing(QString& text, const QString& part)
{
    if (part.isEmpty() || text.contains(part))
        return;
    text += QLatin1Char(' ');
    text += part;
}

} // namespace

void VeskStore::lowerIndexingCount()
{
    setIndexingCount(std::max(0, m_indexingCount - 1));
}

void VeskStore::startImageTasks(const VeskItem& item)
{
    assertMainThread();
    // Fills the thumbnail cache; the image itself is not needed here.
    m_services.thumbnails->thumbnail(item, kThumbnailWarmUpSize);
    if (!m_services.imageAnalyser || !item.filePath)
        return;
    setIndexingCount(m_indexingCount + 1);
    analyzeItem(*item.filePath, item.id);
}

void VeskStore::analyzeItem(const QString& filePath, const QUuid& id)
{
    assertMainThread();
    if (!m_services.imageAnalyser) {
        lowerIndexingCount();
        return;
    }
    // The results come back to the main thread only while the store exists.
    m_services.imageAnalyser->analyse(filePath, id).then(this, [this, id](const ImageAnalysisResult& result) {
        saveDetectedFaces(id, result.text, result.labels, result.faces);
    });
}

Expected<void, DatabaseError> VeskStore::storeDetectedFaces(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
{
    assertMainThread();
    // Rows and mark together: rows without a mark would count as analysed at the next start
    // while the caches lack them now.
    if (m_database) {
        if (auto saved = m_database->saveFaceAnalysis(itemID, faces); !saved)
            return saved;
    }
    cacheFaceRecords(itemID, faces);
    setFaceDataRevision(m_faceDataRevision + 1);
    return {};
}

void VeskStore::saveDetectedFaces(const QUuid& id, const QString& text, const QString& labels,
                                  const QList<VeskFaceRecord>& faces)
{
    assertMainThread();
    const qsizetype index = indexOfItem(id);
    if (index < 0) {
        // Deleted while it was analysed: nothing of it is kept.
        lowerIndexingCount();
        return;
    }

    if (auto stored = storeDetectedFaces(id, faces); !stored)
        veskLog(QStringLiteral("Vesk face record save error: ") + stored.error().logText());

    if (text.isEmpty() && labels.isEmpty()) {
        lowerIndexingCount();
        return;
    }
    VeskItem item = m_items[index];
    appendMissing(item.searchableText, text);
    appendMissing(item.searchableText, labels);
    // Saved, searched and embedded again even when nothing was appended.
    updateItem(item);
    lowerIndexingCount();
}

} // namespace vesk
