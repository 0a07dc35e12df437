// The store's background face scan and its in-memory face data.
#include "store/FaceBackfill.h"
#include "platform/Log.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include <QFileInfo>

namespace vesk {

QList<VeskItem> faceBackfillCandidates(const QList<VeskItem>& items, const QSet<QUuid>& analyzedIDs)
{
    QList<VeskItem> candidates;
    for (const VeskItem& item : items) {
        if (item.kind != VeskKind::Image || analyzedIDs.contains(item.id) || !item.filePath)
            continue;
        if (QFileInfo::exists(*item.filePath))
            candidates.append(item);
    }
    return candidates;
}

void VeskStore::startFaceBackfill()
{
    assertMainThread();
    if (m_faceBackfillTask) {
        m_faceBackfillTask->cancel();
        m_faceBackfillTask.reset();
    }

    QSet<QUuid> analyzed;
    if (m_database) {
        auto fetched = m_database->fetchFaceAnalyzedItemIDs();
        if (!fetched) {
            veskLog(QStringLiteral("Vesk face backfill state load error: ") + fetched.error().logText());
            return;
        }
        analyzed = fetched.value();
    }

    // Without an image analyser among the services there is nothing to scan the candidates with.
    Q_UNUSED(analyzed);
}

void VeskStore::removeFaceData(const QSet<QUuid>& itemIDs)
{
    assertMainThread();
    QSet<QUuid> faceIDs;
    for (const VeskFaceRecord& face : std::as_const(m_faceRecordsCache)) {
        if (itemIDs.contains(face.veskID))
            faceIDs.insert(face.id);
    }
    m_faceRecordsCache.removeIf([&](const VeskFaceRecord& face) { return itemIDs.contains(face.veskID); });
    m_faceRejectionsCache.removeIf(
        [&](const VeskFaceRejectionRecord& rejection) { return faceIDs.contains(rejection.faceID); });
    m_ignoredFaceIDsCache.subtract(faceIDs);
    for (const QUuid& faceID : std::as_const(faceIDs))
        m_facePreviewCache.remove(faceID);
}

} // namespace vesk
