// Face previews: each face cut from its photo, decoded off the main thread once per photo.
#include "store/FaceLibrary.h"

#include "faces/FacePreviews.h"
#include "platform/FutureDelivery.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "store/FaceLibraryHost.h"

#include <QThreadPool>

#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

QImage FaceLibrary::facePreviewImage(const QUuid& faceID)
{
    assertMainThread();
    if (auto cached = m_facePreviewCache.constFind(faceID); cached != m_facePreviewCache.cend())
        return *cached;
    const auto face = std::find_if(m_faceRecordsCache.cbegin(), m_faceRecordsCache.cend(),
                                   [&](const VeskFaceRecord& record) { return record.id == faceID; });
    if (face == m_faceRecordsCache.cend())
        return {};
    const QUuid itemID = face->veskID;
    const qsizetype index = m_host.indexOfItem(itemID);
    if (index < 0 || !m_host.items().at(index).filePath)
        return {};
    if (m_facePreviewsInFlight.contains(itemID) || m_facesWithoutPreview.contains(faceID))
        return {};

    // The whole photo is decoded for one face, so every face of it that has no preview yet is
    // cut from the same decode.
    QList<FacePreviewRequest> requests;
    for (const VeskFaceRecord& record : std::as_const(m_faceRecordsCache)) {
        if (record.veskID == itemID && !m_facePreviewCache.contains(record.id)
            && !m_facesWithoutPreview.contains(record.id))
            requests.append({record.id, QRectF(record.x, record.y, record.width, record.height)});
    }
    if (!m_facePreviewPool) {
        m_facePreviewPool = std::make_unique<QThreadPool>();
        m_facePreviewPool->setMaxThreadCount(2);
    }
    m_facePreviewsInFlight.insert(itemID);
    deliverResult(this,
        QtConcurrent::run(m_facePreviewPool.get(),
            handedOff([path = *m_host.items().at(index).filePath, requests] { return cutFacePreviews(path, requests); })),
        [this, itemID, requests](const FacePreviewCut& cut) { finishFacePreviews(itemID, requests, cut); });
    return {};
}

void FaceLibrary::releaseFacePreviews()
{
    assertMainThread();
    // Swapped with an empty one: clear() would keep the table's buckets. Faces known to have no
    // preview stay known, so their photos are not decoded again for nothing.
    QHash<QUuid, QImage>().swap(m_facePreviewCache);
}

void FaceLibrary::waitForFacePreviews()
{
    if (m_facePreviewPool)
        m_facePreviewPool->waitForDone();
}

void FaceLibrary::finishFacePreviews(const QUuid& itemID, const QList<FacePreviewRequest>& requested,
                                     const FacePreviewCut& cut)
{
    assertMainThread();
    // Gone from the list when the face data was cleared meanwhile.
    if (!m_facePreviewsInFlight.remove(itemID))
        return;
    QSet<QUuid> asked;
    for (const FacePreviewRequest& request : requested)
        asked.insert(request.faceID);
    // Only faces still held keep their preview: a face replaced by a new detection or deleted
    // while its photo was decoded gets none. A face whose rectangle is too small is not asked for
    // again (its photo would be decoded at every paint of its tile for nothing); a photo that
    // could not be read is tried again at the next request.
    bool added = false;
    for (const VeskFaceRecord& record : std::as_const(m_faceRecordsCache)) {
        if (record.veskID != itemID || !asked.contains(record.id) || m_facePreviewCache.contains(record.id))
            continue;
        if (auto preview = cut.previews.constFind(record.id); preview != cut.previews.cend()) {
            m_facePreviewCache.insert(record.id, *preview);
            added = true;
        } else if (cut.decoded) {
            m_facesWithoutPreview.insert(record.id);
        }
    }
    if (added)
        emit facePreviewsChanged();
}

} // namespace vesk
