// The face data in memory: loading it, replacing an item's faces, forgetting deleted items' faces
// and emptying everything for a cleared library.
#include "store/FaceLibrary.h"

#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "store/FaceLibraryHost.h"
#include "store/LibraryReading.h"
#include "store/PublishedValue.h"
#include "store/SQLiteDatabase.h"

#include <QThreadPool>

namespace vesk {

FaceLibrary::FaceLibrary(VeskServices services, FaceLibraryHost& host, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_host(host)
{
}

FaceLibrary::~FaceLibrary()
{
    cancelFaceBackfill();
    // Photos still waiting to be cut into previews are not needed any more.
    if (m_facePreviewPool)
        m_facePreviewPool->clear();
}

void FaceLibrary::setFaceDataRevision(int value)
{
    assertMainThread();
    if (assignChanged(m_faceDataRevision, value))
        emit faceDataRevisionChanged();
}

void FaceLibrary::loadCaches()
{
    m_faceRecordsCache.clear();
    m_faceClustersCache.clear();
    m_faceRejectionsCache.clear();
    m_ignoredFaceIDsCache.clear();

    if (SQLiteDatabase* database = m_host.database()) {
        auto fail = [this](const DatabaseError& error) {
            veskLog(QStringLiteral("Vesk face cache load error: ") + error.logText());
            m_faceRecordsCache.clear();
            m_faceClustersCache.clear();
            m_faceRejectionsCache.clear();
            m_ignoredFaceIDsCache.clear();
        };
        [&] {
            auto faces = database->fetchFaces();
            if (!faces)
                return fail(faces.error());
            m_faceRecordsCache = faces.value();
            auto clusters = database->fetchFaceClusters();
            if (!clusters)
                return fail(clusters.error());
            m_faceClustersCache = clusters.value();
            auto rejections = database->fetchFaceRejections();
            if (!rejections)
                return fail(rejections.error());
            m_faceRejectionsCache = rejections.value();
            auto ignored = database->fetchIgnoredFaceIDs();
            if (!ignored)
                return fail(ignored.error());
            m_ignoredFaceIDsCache = ignored.value();
        }();
    }
    m_facePreviewCache.clear();
}

void FaceLibrary::adoptReading(const LibraryReading& reading)
{
    if (reading.faceError) {
        veskLog(QStringLiteral("Vesk face cache load error: ") + reading.faceError->logText());
    } else {
        m_faceRecordsCache = reading.faces;
        m_faceClustersCache = reading.faceClusters;
        m_faceRejectionsCache = reading.faceRejections;
        m_ignoredFaceIDsCache = reading.ignoredFaceIDs;
    }
    m_facePreviewCache.clear();
}

void FaceLibrary::forgetFacePreviews(const QSet<QUuid>& faceIDs)
{
    for (const QUuid& faceID : faceIDs) {
        m_facePreviewCache.remove(faceID);
        m_facesWithoutPreview.remove(faceID);
    }
}

void FaceLibrary::cacheFaceRecords(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
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

void FaceLibrary::removeFaceData(const QSet<QUuid>& itemIDs)
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

void FaceLibrary::clearFaceData()
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
