// The analysis of a newly imported picture: text, labels and faces found off the main thread and
// applied to the library on it.
#include "store/FaceLibrary.h"

#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "store/FaceLibraryHost.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

namespace {

constexpr int kThumbnailWarmUpSize = 520;

// Appends part to text, after a space, unless text already holds it.
void appendMissing(ItemText& text, const QString& part)
{
    const QByteArray bytes = part.toUtf8();
    if (bytes.isEmpty() || text.utf8().contains(bytes))
        return;
    text = ItemText::fromUtf8(text.utf8() + ' ' + bytes);
}

} // namespace

void FaceLibrary::startImageTasks(const VeskItem& item)
{
    assertMainThread();
    // Fills the thumbnail cache; the image itself is not needed here.
    m_services.thumbnails->thumbnail(item, kThumbnailWarmUpSize);
    if (!m_services.imageAnalyser || !item.filePath)
        return;
    m_host.adjustIndexingCount(+1);
    analyzeItem(*item.filePath, item.id);
}

void FaceLibrary::analyzeItem(const QString& filePath, const QUuid& id)
{
    assertMainThread();
    if (!m_services.imageAnalyser) {
        m_host.adjustIndexingCount(-1);
        return;
    }
    // The results come back to the main thread only while the store exists.
    deliverResult(this, m_services.imageAnalyser->analyse(filePath, id), [this, id](const ImageAnalysisResult& result) {
        saveDetectedFaces(id, result.text, result.labels, result.faces);
    });
}

Expected<void, DatabaseError> FaceLibrary::storeDetectedFaces(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
{
    assertMainThread();
    // Rows and mark together: rows without a mark would count as analysed at the next start
    // while the caches lack them now.
    if (SQLiteDatabase* database = m_host.database()) {
        if (auto saved = database->saveFaceAnalysis(itemID, faces); !saved)
            return saved;
    }
    cacheFaceRecords(itemID, faces);
    setFaceDataRevision(faceDataRevision() + 1);
    return {};
}

void FaceLibrary::storeDetectedFacesInBackground(const QUuid& itemID, const QList<VeskFaceRecord>& faces,
                                                 std::function<void(const Expected<void, DatabaseError>&)> then,
                                                 std::function<void()> dropped)
{
    assertMainThread();
    if (m_host.libraryCheckPending()) {
        // Face rows name their item's row, which may itself be waiting for the check.
        m_host.afterLibraryCheck(
            [this, itemID, faces, then = std::move(then), dropped] {
                storeDetectedFacesInBackground(itemID, faces, then, dropped);
            },
            dropped);
        return;
    }
    auto written = m_host.writeInBackground(
        [itemID, faces](SQLiteDatabase& database) { return database.saveFaceAnalysis(itemID, faces); });
    if (!written) {
        then(storeDetectedFaces(itemID, faces));
        return;
    }
    // The worker's connection takes the rows: a flush to a disk busy with an import would hold up
    // the window. Its queue keeps them in order with the other rows it writes, and the caches
    // learn of them only once they are in the file.
    deliverResult(this, *written,
        [this, itemID, faces, then = std::move(then)](const Expected<void, DatabaseError>& saved) {
            // An item deleted meanwhile took its rows with it (or refused them): nothing to keep.
            if (saved && m_host.indexOfItem(itemID) >= 0) {
                cacheFaceRecords(itemID, faces);
                setFaceDataRevision(faceDataRevision() + 1);
            }
            then(saved);
        });
}

void FaceLibrary::saveDetectedFaces(const QUuid& id, const QString& text, const QString& labels,
                                    const QList<VeskFaceRecord>& faces)
{
    assertMainThread();
    if (m_host.indexOfItem(id) < 0) {
        // Deleted while it was analysed: nothing of it is kept.
        m_host.adjustIndexingCount(-1);
        return;
    }
    storeDetectedFacesInBackground(id, faces, [this, id, text, labels](const Expected<void, DatabaseError>& stored) {
        if (!stored)
            veskLog(QStringLiteral("Vesk face record save error: ") + stored.error().logText());
        const qsizetype index = m_host.indexOfItem(id);
        if (index < 0 || (text.isEmpty() && labels.isEmpty())) {
            m_host.adjustIndexingCount(-1);
            return;
        }
        VeskItem item = m_host.items().at(index);
        appendMissing(item.searchableText, text);
        appendMissing(item.searchableText, labels);
        // Saved, searched and embedded again even when nothing was appended.
        (void)m_host.updateItemFromWork(item); // a failure is marked on the card and said by the store
        m_host.adjustIndexingCount(-1);
    }, [this] {
        // The library file failed its check: nothing of the analysis is kept, and it is over.
        m_host.adjustIndexingCount(-1);
    });
}

} // namespace vesk
