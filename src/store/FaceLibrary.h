#pragma once

#include "model/VeskFaceRecords.h"
#include "model/VeskItem.h"
#include "platform/CancellationToken.h"
#include "platform/Expected.h"
#include "store/DatabaseError.h"
#include "store/VeskServices.h"

#include <QCoreApplication>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QThread>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

namespace vesk {

class FaceLibraryHost;
class FaceSuggestionEngine;
class SerialExecutor;
struct FacePreviewCut;
struct FacePreviewRequest;
struct LibraryReading;

// The faces and people of the library: the face data held in memory (faces, person pools,
// rejections, ignore marks), the previews cut from the photos, the person pools and the user's
// decisions on faces, and the suggestions. Every change writes the library file first and keeps
// the caches equal to it; faceDataRevision rises with each change the face views show. Lives on
// the main thread; reaches the rest of the library only through its host.
class FaceLibrary : public QObject {
    Q_OBJECT

public:
    FaceLibrary(VeskServices services, FaceLibraryHost& host, QObject* parent = nullptr);
    ~FaceLibrary() override;

    FaceLibrary(const FaceLibrary&) = delete;
    FaceLibrary& operator=(const FaceLibrary&) = delete;

    // --- Face data in memory (FaceLibrary.cpp) ---

    // As loaded at start-up and kept by the operations below.
    const QList<VeskFaceRecord>& faceRecordsCache() const { return m_faceRecordsCache; }
    const QList<VeskFaceClusterRecord>& faceClustersCache() const { return m_faceClustersCache; }
    const QList<VeskFaceRejectionRecord>& faceRejectionsCache() const { return m_faceRejectionsCache; }
    const QSet<QUuid>& ignoredFaceIDsCache() const { return m_ignoredFaceIDsCache; }
    // Rises with every change of the face data; the face views draw again when it does.
    int faceDataRevision() const { return m_faceDataRevision; }
    void setFaceDataRevision(int value);
    // Reads the four caches from the host's database; a failed read logs and leaves all empty.
    void loadCaches();
    // Takes the caches start-up read on its worker, or logs why they could not be read.
    void adoptReading(const LibraryReading& reading);
    // Replaces the item's faces in memory; their ignore marks and previews go with them.
    void cacheFaceRecords(const QUuid& itemID, const QList<VeskFaceRecord>& faces);
    // Forgets, in memory only, the face data of these items.
    void removeFaceData(const QSet<QUuid>& itemIDs);
    // For a cleared library: cancels the backfill and empties every face cache.
    void clearFaceData();

    // --- Analysis of pictures (FaceLibraryAnalysis.cpp) ---

    // The tasks a newly imported picture gets: its card thumbnail, and its analysis when there is
    // an image analyser (the host's indexing count stays raised until the results are applied).
    void startImageTasks(const VeskItem& item);
    // Recognises the text, labels and faces of the picture off the main thread, then applies them
    // with saveDetectedFaces, unless the face library is gone by then.
    void analyzeItem(const QString& filePath, const QUuid& id);
    // Applies one analysis: the item's face rows and analysis mark, then the caches and
    // faceDataRevision (skipped when the rows could not be written), then the text and labels its
    // searchable text lacks, saved, searched and embedded again. An item deleted meanwhile takes
    // nothing. Lowers the indexing count on every path.
    void saveDetectedFaces(const QUuid& id, const QString& text, const QString& labels,
                           const QList<VeskFaceRecord>& faces);

    // --- Background scan (FaceLibraryBackfill.cpp) ---

    // Looks for faces in the image items never analysed, newest first, one at a time with a pause
    // between items; detection runs off the main thread. A second start cancels the first run.
    // Nothing starts without an analyser or in a library opened for reading only.
    void startFaceBackfill();
    // Stops a running backfill at its next check.
    void cancelFaceBackfill();

    // --- Previews (FaceLibraryPreviews.cpp) ---

    // The face cut from its photo, or a null image. A miss starts decoding the photo off the main
    // thread, cutting every face of it at once; facePreviewsChanged() tells when they are ready.
    QImage facePreviewImage(const QUuid& faceID);
    // Lets go of the previews cut so far, once nothing shows them: each is a quarter of a megabyte
    // at most, one for every face the People window ever showed.
    void releaseFacePreviews();
    // Waits until no photo is being cut; what was cut reaches the caches with the next events.
    void waitForFacePreviews();

    // --- Person pools (FaceLibraryPools.cpp) ---
    // Each change writes the database first (one transaction), then the caches, raises
    // faceDataRevision and refreshes search; a failed write is logged, said in the failure notice
    // and changes nothing.

    // Names the face: it joins the first pool of the same person name, or a new pool.
    [[nodiscard]] bool createPersonPool(const QString& name, const QUuid& faceID);
    [[nodiscard]] bool renamePersonPool(const QUuid& poolID, const QString& newName);
    // The source's faces join the target, which keeps its name; the source disappears.
    [[nodiscard]] bool mergePersonPools(const QUuid& sourceID, const QUuid& targetID);
    // Named pools with faces, sorted by name.
    QList<VeskPersonPoolSummary> personPoolSummaries() const;
    // The photographs holding a face of the pool, in the host's item order (newest first), each
    // once: items whose file has a picture extension.
    QList<VeskItem> photosForPersonPool(const QUuid& poolID) const;

    // --- Suggestions and decisions (FaceLibraryDecisions.cpp) ---

    // Unassigned faces close to the pool's faces, best first.
    QList<VeskFaceSuggestion> faceSuggestions(const QUuid& poolID, int limit, double minimumSimilarity) const;
    // The same on the face-suggestion worker, over the face caches as they are at the call (a
    // library of many thousand faces takes longer than a frame): done gets them on the main
    // thread while receiver exists.
    void findFaceSuggestionsLater(const QUuid& poolID, int limit, double minimumSimilarity, QObject* receiver,
        std::function<void(const QList<VeskFaceSuggestion>&)> done) const;
    // Confirms each distinct face that is in no pool yet; the number confirmed.
    [[nodiscard]] int confirmFaces(const QList<QUuid>& faceIDs, const QUuid& poolID);
    // Confirms the face, moving it from another pool if need be.
    [[nodiscard]] bool confirmFace(const QUuid& faceID, const QUuid& poolID);
    [[nodiscard]] bool rejectFace(const QUuid& faceID, const QUuid& poolID);
    // Only faces in no pool can be ignored; from then on they are neither suggested nor listed.
    [[nodiscard]] bool ignoreFace(const QUuid& faceID);
    // Faces in no pool and not ignored, newest first.
    QList<VeskFaceRecord> unassignedFaces(int limit) const;
    VeskFaceStatistics faceStatistics() const;

signals:
    void faceDataRevisionChanged();
    // New face previews are ready (not published state: ask facePreviewImage again).
    void facePreviewsChanged();

private:
    // Writes the item's face rows and analysis mark in one transaction, then keeps the faces in
    // the caches and raises faceDataRevision; without a database only the caches change. The
    // caches stay as they were when the rows could not be written.
    [[nodiscard]] Expected<void, DatabaseError> storeDetectedFaces(const QUuid& itemID,
                                                                   const QList<VeskFaceRecord>& faces);
    // The same through the host's background connection, then the caches (unless the item is gone
    // by then), then `then` with the outcome on the main thread. While the check of the library
    // file is pending the rows wait for it; when it fails they are dropped and `dropped` runs.
    void storeDetectedFacesInBackground(const QUuid& itemID, const QList<VeskFaceRecord>& faces,
                                        std::function<void(const Expected<void, DatabaseError>&)> then,
                                        std::function<void()> dropped);
    void runFaceBackfill(const QList<VeskItem>& candidates, CancellationToken token);
    void backfillItem(std::shared_ptr<const QList<VeskItem>> candidates, qsizetype position, CancellationToken token);
    void assertMainThread() const
    {
        Q_ASSERT_X(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread(),
                   "FaceLibrary", "face library used off the main thread");
    }
    void forgetFacePreviews(const QSet<QUuid>& faceIDs);
    void finishFacePreviews(const QUuid& itemID, const QList<FacePreviewRequest>& requested,
                            const FacePreviewCut& cut);
    // Raises faceDataRevision after a face decision, and refreshes search when who is in which
    // pool changed.
    void noteFaceChange(bool peopleChanged);
    // The pool's name in quotes for a failure notice.
    QString poolNameForNotice(const QUuid& poolID) const;
    // Puts a face into a pool in the database (creating newPool's row first) and the caches.
    [[nodiscard]] Expected<void, DatabaseError> assignFace(qsizetype faceIndex, const QUuid& poolID,
                                                           const std::optional<VeskFaceClusterRecord>& newPool);
    // The suggestions for the pool over the caches as they are now, made on the worker.
    QFuture<QList<VeskFaceSuggestion>> suggestFaces(const QUuid& poolID, int limit, double minimumSimilarity) const;

    VeskServices m_services;
    FaceLibraryHost& m_host;

    QList<VeskFaceRecord> m_faceRecordsCache;
    QList<VeskFaceClusterRecord> m_faceClustersCache;
    QList<VeskFaceRejectionRecord> m_faceRejectionsCache;
    QSet<QUuid> m_ignoredFaceIDsCache;
    int m_faceDataRevision = 0;

    QHash<QUuid, QImage> m_facePreviewCache;
    // Items whose photo is being cut into previews now.
    QSet<QUuid> m_facePreviewsInFlight;
    // Faces whose photo was read but whose rectangle is too small to show.
    QSet<QUuid> m_facesWithoutPreview;
    // The running background face scan; cancelled when a newer one starts.
    std::optional<CancellationToken> m_faceBackfillTask;

    // Decodes photos for face previews, two at a time.
    std::unique_ptr<QThreadPool> m_facePreviewPool;

    // Made on first use; keeps a float copy of the prints between calls. Used on its own worker
    // only, one request after the other.
    mutable std::shared_ptr<FaceSuggestionEngine> m_faceSuggestions;
    mutable std::unique_ptr<SerialExecutor> m_faceSuggestionWorker;
};

} // namespace vesk
