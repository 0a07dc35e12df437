// The store's face operations, forwarded to its faces-and-people area (FaceLibrary.h).
#include "store/VeskStore.h"

#include "store/FaceLibrary.h"
#include "store/FaceLibraryAccess.h"
#include "store/StoreInternals.h"

namespace vesk {

void VeskStore::makeFaceLibrary()
{
    m_faceAccess = std::make_unique<FaceLibraryAccess>(*this);
    m_faces = std::make_unique<FaceLibrary>(m_services, *m_faceAccess);
    connect(m_faces.get(), &FaceLibrary::faceDataRevisionChanged, this, &VeskStore::faceDataRevisionChanged);
    connect(m_faces.get(), &FaceLibrary::facePreviewsChanged, this, &VeskStore::facePreviewsChanged);
}

const QList<VeskFaceRecord>& VeskStore::faceRecordsCache() const { return m_faces->faceRecordsCache(); }
const QList<VeskFaceClusterRecord>& VeskStore::faceClustersCache() const { return m_faces->faceClustersCache(); }
const QList<VeskFaceRejectionRecord>& VeskStore::faceRejectionsCache() const { return m_faces->faceRejectionsCache(); }
const QSet<QUuid>& VeskStore::ignoredFaceIDsCache() const { return m_faces->ignoredFaceIDsCache(); }
int VeskStore::faceDataRevision() const { return m_faces->faceDataRevision(); }
void VeskStore::setFaceDataRevision(int value) { m_faces->setFaceDataRevision(value); }
void VeskStore::cacheFaceRecords(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
{
    m_faces->cacheFaceRecords(itemID, faces);
}

void VeskStore::removeFaceData(const QSet<QUuid>& itemIDs) { m_faces->removeFaceData(itemIDs); }

void VeskStore::clearFaceData() { m_faces->clearFaceData(); }

void VeskStore::startImageTasks(const VeskItem& item) { m_faces->startImageTasks(item); }
void VeskStore::analyzeItem(const QString& filePath, const QUuid& id) { m_faces->analyzeItem(filePath, id); }

void VeskStore::saveDetectedFaces(const QUuid& id, const QString& text, const QString& labels,
                                  const QList<VeskFaceRecord>& faces)
{
    m_faces->saveDetectedFaces(id, text, labels, faces);
}

void VeskStore::startFaceBackfill() { m_faces->startFaceBackfill(); }
void VeskStore::cancelFaceBackfill() { m_faces->cancelFaceBackfill(); }

QImage VeskStore::facePreviewImage(const QUuid& faceID) { return m_faces->facePreviewImage(faceID); }

void VeskStore::releaseFacePreviews() { m_faces->releaseFacePreviews(); }

void StoreInternals::waitForFacePreviews(VeskStore& store) { store.m_faces->waitForFacePreviews(); }

bool VeskStore::createPersonPool(const QString& name, const QUuid& faceID)
{
    return m_faces->createPersonPool(name, faceID);
}

bool VeskStore::renamePersonPool(const QUuid& poolID, const QString& newName)
{
    return m_faces->renamePersonPool(poolID, newName);
}

bool VeskStore::mergePersonPools(const QUuid& sourceID, const QUuid& targetID)
{
    return m_faces->mergePersonPools(sourceID, targetID);
}

QList<VeskPersonPoolSummary> VeskStore::personPoolSummaries() const { return m_faces->personPoolSummaries(); }

QList<VeskItem> VeskStore::photosForPersonPool(const QUuid& poolID) const
{
    return m_faces->photosForPersonPool(poolID);
}

QList<VeskFaceSuggestion> VeskStore::faceSuggestions(const QUuid& poolID, int limit, double minimumSimilarity) const
{
    return m_faces->faceSuggestions(poolID, limit, minimumSimilarity);
}

void VeskStore::findFaceSuggestionsLater(const QUuid& poolID, int limit, double minimumSimilarity, QObject* receiver,
    std::function<void(const QList<VeskFaceSuggestion>&)> done) const
{
    m_faces->findFaceSuggestionsLater(poolID, limit, minimumSimilarity, receiver, std::move(done));
}

int VeskStore::confirmFaces(const QList<QUuid>& faceIDs, const QUuid& poolID)
{
    return m_faces->confirmFaces(faceIDs, poolID);
}

bool VeskStore::confirmFace(const QUuid& faceID, const QUuid& poolID) { return m_faces->confirmFace(faceID, poolID); }
bool VeskStore::rejectFace(const QUuid& faceID, const QUuid& poolID) { return m_faces->rejectFace(faceID, poolID); }
bool VeskStore::ignoreFace(const QUuid& faceID) { return m_faces->ignoreFace(faceID); }
QList<VeskFaceRecord> VeskStore::unassignedFaces(int limit) const { return m_faces->unassignedFaces(limit); }
VeskFaceStatistics VeskStore::faceStatistics() const { return m_faces->faceStatistics(); }

} // namespace vesk
