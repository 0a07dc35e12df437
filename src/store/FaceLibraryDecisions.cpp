// Face suggestions and the user's decisions on them: confirm, reject, ignore; the unassigned faces
// and the face counts.
#include "store/FaceLibrary.h"

#include "faces/FaceSuggestionEngine.h"
#include "faces/PersonPools.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "store/FaceLibraryHost.h"
#include "store/FailureWording.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

namespace {

qsizetype indexOfFace(const QList<VeskFaceRecord>& faces, const QUuid& id, bool unassignedOnly)
{
    for (qsizetype i = 0; i < faces.size(); ++i) {
        if (faces[i].id == id)
            return unassignedOnly && faces[i].clusterID ? -1 : i;
    }
    return -1;
}

} // namespace

QString FaceLibrary::poolNameForNotice(const QUuid& poolID) const
{
    for (const VeskFaceClusterRecord& pool : m_faceClustersCache) {
        if (pool.id == poolID)
            return quotedItemTitle(personPoolName(pool.name));
    }
    return QStringLiteral("this person");
}

QFuture<QList<VeskFaceSuggestion>> FaceLibrary::suggestFaces(const QUuid& poolID, int limit, double minimumSimilarity) const
{
    assertMainThread();
    const auto pool = std::find_if(m_faceClustersCache.cbegin(), m_faceClustersCache.cend(),
                                   [&](const VeskFaceClusterRecord& record) { return record.id == poolID; });
    if (pool == m_faceClustersCache.cend())
        return QtFuture::makeReadyFuture(QList<VeskFaceSuggestion>());
    if (!m_faceSuggestions)
        m_faceSuggestions = std::make_shared<FaceSuggestionEngine>();
    if (!m_faceSuggestionWorker)
        m_faceSuggestionWorker = std::make_unique<SerialExecutor>(); // the People window waits for it
    // The caches' copies share their data until the main thread changes its own: the worker
    // reads the faces as they were when asked.
    return m_faceSuggestionWorker->run([engine = m_faceSuggestions, pool = *pool, faces = m_faceRecordsCache,
                                           rejections = m_faceRejectionsCache, ignored = m_ignoredFaceIDsCache,
                                           limit, minimumSimilarity] {
        return engine->suggestions(pool, faces, rejections, ignored, limit, minimumSimilarity);
    });
}

QList<VeskFaceSuggestion> FaceLibrary::faceSuggestions(const QUuid& poolID, int limit, double minimumSimilarity) const
{
    // Waits behind the requests of the window, which share the engine.
    QFuture<QList<VeskFaceSuggestion>> suggested = suggestFaces(poolID, limit, minimumSimilarity);
    return suggested.result();
}

void FaceLibrary::findFaceSuggestionsLater(const QUuid& poolID, int limit, double minimumSimilarity, QObject* receiver,
    std::function<void(const QList<VeskFaceSuggestion>&)> done) const
{
    deliverResult(receiver, suggestFaces(poolID, limit, minimumSimilarity), std::move(done));
}

int FaceLibrary::confirmFaces(const QList<QUuid>& faceIDs, const QUuid& poolID)
{
    assertMainThread();
    int confirmed = 0;
    int refused = 0;
    std::optional<DatabaseError> firstError;
    QSet<QUuid> seen;
    for (const QUuid& faceID : faceIDs) {
        if (seen.contains(faceID))
            continue;
        seen.insert(faceID);
        const qsizetype index = indexOfFace(m_faceRecordsCache, faceID, true);
        if (index < 0)
            continue;
        if (auto assigned = assignFace(index, poolID, std::nullopt); !assigned) {
            veskLog(QStringLiteral("Vesk bulk face confirmation error: ") + assigned.error().logText());
            if (!firstError)
                firstError = assigned.error();
            ++refused;
            continue;
        }
        ++confirmed;
    }
    if (firstError) {
        m_host.reportRefused(QStringLiteral("Faces not confirmed"),
                      (refused == 1 ? QStringLiteral("One face was") : QStringLiteral("%1 faces were").arg(refused))
                          + QStringLiteral(" not added to ") + poolNameForNotice(poolID),
                      *firstError);
    }
    if (confirmed == 0)
        return 0;
    noteFaceChange(true);
    return confirmed;
}

bool FaceLibrary::confirmFace(const QUuid& faceID, const QUuid& poolID)
{
    assertMainThread();
    const qsizetype index = indexOfFace(m_faceRecordsCache, faceID, false);
    if (index < 0)
        return false;
    if (auto assigned = assignFace(index, poolID, std::nullopt); !assigned) {
        veskLog(QStringLiteral("Vesk face confirmation error: ") + assigned.error().logText());
        m_host.reportRefused(QStringLiteral("Face not confirmed"),
                      QStringLiteral("The face was not added to ") + poolNameForNotice(poolID), assigned.error());
        return false;
    }
    noteFaceChange(true);
    return true;
}

bool FaceLibrary::rejectFace(const QUuid& faceID, const QUuid& poolID)
{
    assertMainThread();
    if (SQLiteDatabase* database = m_host.database()) {
        if (auto rejected = database->rejectFace(faceID, poolID); !rejected) {
            veskLog(QStringLiteral("Vesk face rejection error: ") + rejected.error().logText());
            m_host.reportRefused(QStringLiteral("Face not rejected"),
                          QStringLiteral("The face is still suggested for ") + poolNameForNotice(poolID), rejected.error());
            return false;
        }
    }
    const VeskFaceRejectionRecord rejection{faceID, poolID};
    if (!m_faceRejectionsCache.contains(rejection))
        m_faceRejectionsCache.append(rejection);
    noteFaceChange(false);
    return true;
}

bool FaceLibrary::ignoreFace(const QUuid& faceID)
{
    assertMainThread();
    if (indexOfFace(m_faceRecordsCache, faceID, true) < 0)
        return false;
    if (SQLiteDatabase* database = m_host.database()) {
        if (auto ignored = database->ignoreFace(faceID); !ignored) {
            veskLog(QStringLiteral("Vesk ignore face error: ") + ignored.error().logText());
            m_host.reportRefused(QStringLiteral("Face not ignored"), QStringLiteral("The face was not ignored"), ignored.error());
            return false;
        }
    }
    m_ignoredFaceIDsCache.insert(faceID);
    noteFaceChange(false);
    return true;
}

QList<VeskFaceRecord> FaceLibrary::unassignedFaces(int limit) const
{
    return vesk::unassignedFaces(m_faceRecordsCache, m_ignoredFaceIDsCache, limit);
}

VeskFaceStatistics FaceLibrary::faceStatistics() const
{
    return vesk::faceStatistics(m_faceRecordsCache, m_ignoredFaceIDsCache);
}

} // namespace vesk
