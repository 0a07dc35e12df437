// The store's face data in memory: replacing an item's faces, forgetting deleted items' faces and
// emptying everything for a cleared library.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::forgetFacePreviews(const QSet<QUuid>& faceIDs)
{
    for (const QUuid& faceID : faceIDs) {
        m_facePreviewCache.remove(faceID);
        m_facesWithoutPreview.remove(faceID);
    }
}

void VeskStore::cacheFaceRecords(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
{
    assertMainThread();
    QSet<QUuid> replaced;
    for (const VeskFaceRecord& face : std::as_const(m_faceRecordsCache)) {
        if (face.veskID == itemID)
            replaced.insert(face.id);
    }
    m_faceRecordsCache.removeIf([&](const VeskFaceRecord& face) { return face.veskID == itemID; });
    m_faceRecordsCache.append(faces);
    m_ignoredFaceIDsCache.subtract(replaced);
    forgetFacePreviews(replaced);
}

void VeskStore::removeFaceData(const QSet<QUuid>& itemIDs)
{
    assertMainThread();
    QSet<QUuid> faceIDs;
    for (const VeskFaceRecord& face : std::as_const(m_faceRecordsCache)) {
        if (itemIDs.contains(face.veskID))
            faceIDs.insert(face.id);
    }
    if (faceIDs.isEmpty())
        return;
    m_faceRecordsCache.removeIf([&](const VeskFaceRecord& face) { return itemIDs.contains(face.veskID); });
    m_faceRejectionsCache.removeIf(
        [&](const VeskFaceRejectionRecord& rejection) { return faceIDs.contains(rejection.faceID); });
    m_ignoredFaceIDsCache.subtract(faceIDs);
    forgetFacePreviews(faceIDs);
}

void VeskStore::clearFaceData()
{
    assertMainThread();
    cancelFaceBackfill();
    m_faceRecordsCache.clear();
    m_faceClustersCache.clear();
    m_faceRejectionsCache.clear();
    m_ignoredFaceIDsCache.clear();
    m_facePreviewCache.clear();
    m_facesWithoutPreview.clear();
    // Cuts still running find no faces to keep when they come back.
    m_facePreviewsInFlight.clear();
    if (m_facePreviewPool)
        m_facePreviewPool->clear();
    // Face views showing the old faces draw again.
    setFaceDataRevision(m_faceDataRevision + 1);
}

} // namespace vesk
