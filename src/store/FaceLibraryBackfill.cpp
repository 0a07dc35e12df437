// The background face scan over image items that were never analysed.
#include "store/FaceBackfill.h"

#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "store/FaceLibrary.h"
#include "store/FaceLibraryHost.h"
#include "store/SQLiteDatabase.h"

#include <QFileInfo>

#include <algorithm>

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

void FaceLibrary::cancelFaceBackfill()
{
    assertMainThread();
    if (m_faceBackfillTask)
        m_faceBackfillTask->cancel();
    m_faceBackfillTask.reset();
}

void FaceLibrary::startFaceBackfill()
{
    assertMainThread();
    cancelFaceBackfill();
    // Without an analyser nothing can look for faces, and nothing may be marked as looked at.
    if (!m_services.imageAnalyser || m_host.readOnly())
        return;

    CancellationToken token;
    m_faceBackfillTask = token;
    // Which pictures were analysed already is read, and whether each picture's file is there is
    // asked, on a worker (a large library holds tens of thousands of both); the run starts on the
    // main thread, and not at all once the store is gone.
    const SQLiteDatabase* database = m_host.database();
    const QString databasePath = database ? database->filePath() : QString();
    // The pictures are read from the library's own list in short turns of its gate: a copy of the
    // list held while the worker asks the file and the disk would make an item put at the front
    // meanwhile copy the whole library.
    deliverResult(this, m_host.libraryTasksWorker()
        .run([walk = ItemsWalk(m_host.itemsReading()), databasePath]() mutable -> Expected<QList<VeskItem>, DatabaseError> {
            QList<VeskItem> pictures;
            for (;;) {
                const ItemsWalk::Turn turn = walk.next(4096, [&](const VeskItem& item) {
                    if (item.kind == VeskKind::Image)
                        pictures.append(item);
                });
                if (turn == ItemsWalk::Turn::Closed)
                    return QList<VeskItem>();
                if (turn == ItemsWalk::Turn::Restarted)
                    pictures.clear();
                if (turn == ItemsWalk::Turn::Done)
                    break;
            }
            // Walked from the end: back in list order, which the scan follows.
            std::reverse(pictures.begin(), pictures.end());
            QSet<QUuid> analyzed;
            if (!databasePath.isEmpty()) {
                auto opened = SQLiteDatabase::openForReading(databasePath);
                if (!opened)
                    return unexpected(opened.error());
                auto fetched = opened.value()->fetchFaceAnalyzedItemIDs();
                if (!fetched)
                    return unexpected(fetched.error());
                analyzed = std::move(fetched.value());
            }
            return faceBackfillCandidates(pictures, analyzed);
        }),
        [this, token](const Expected<QList<VeskItem>, DatabaseError>& candidates) {
            if (!candidates) {
                veskLog(QStringLiteral("Vesk face backfill state load error: ") + candidates.error().logText());
                return;
            }
            if (!token.isCancelled() && !candidates->isEmpty())
                runFaceBackfill(*candidates, token);
        });
}

void FaceLibrary::runFaceBackfill(const QList<VeskItem>& candidates, CancellationToken token)
{
    backfillItem(std::make_shared<const QList<VeskItem>>(candidates), 0, std::move(token));
}

void FaceLibrary::backfillItem(std::shared_ptr<const QList<VeskItem>> candidates, qsizetype position,
                               CancellationToken token)
{
    assertMainThread();
    for (; position < candidates->size(); ++position) {
        if (token.isCancelled())
            return;
        const VeskItem& item = candidates->at(position);
        if (!item.filePath)
            continue;
        m_host.adjustIndexingCount(+1);
        // Detection runs on the analyser's workers; the result is applied here on the main
        // thread, and the next item follows after the pause whatever the outcome.
        deliverResult(this, m_services.imageAnalyser->detectFaces(*item.filePath, item.id),
        [this, candidates, position, token](const QList<VeskFaceRecord>& faces) {
                if (token.isCancelled()) {
                    m_host.adjustIndexingCount(-1);
                    return;
                }
                const VeskItem& done = candidates->at(position);
                storeDetectedFacesInBackground(done.id, faces, [this, candidates, position, token](
                                                                   const Expected<void, DatabaseError>& stored) {
                    if (!stored) {
                        veskLog(QStringLiteral("Vesk face backfill save error for ") + candidates->at(position).title
                                + QStringLiteral(": ") + stored.error().logText());
                    }
                    m_host.adjustIndexingCount(-1);
                    m_services.timers->after(m_services.faceBackfillPauseMs, this, [this, candidates, position, token] {
                        backfillItem(candidates, position + 1, token);
                    });
                }, [this] {
                    // The library file failed its check: it takes no more rows, so the pass ends.
                    m_host.adjustIndexingCount(-1);
                });
            });
        return;
    }
}

} // namespace vesk
