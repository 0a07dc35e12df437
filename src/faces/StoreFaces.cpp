// The store's background face scan and its in-memory face data.
#include "faces/FaceBackfill.h"
#include "platform/Log.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <memory>

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

    const QList<VeskItem> candidates = faceBackfillCandidates(m_items, analyzed);
    if (candidates.isEmpty())
        return;

    // Walks the candidates one at a time with a pause between items, on the main thread, and
    // stops when cancelled or when the store is gone. The per-item analysis arrives with the
    // image analyser; until then each step only moves on.
    CancellationToken token;
    m_faceBackfillTask = token;
    // Only a pending pause owns the walk, so a dropped timer (the store is gone) ends it.
    auto step = std::make_shared<std::function<void(qsizetype)>>();
    *step = [store = QPointer<VeskStore>(this), token, candidates,
             weakStep = std::weak_ptr<std::function<void(qsizetype)>>(step)](qsizetype index) {
        if (!store || token.isCancelled() || index >= candidates.size())
            return;
        QTimer::singleShot(store->m_services.faceBackfillPauseMs, store.data(),
                           [next = weakStep.lock(), index] { (*next)(index + 1); });
    };
    (*step)(0);
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
