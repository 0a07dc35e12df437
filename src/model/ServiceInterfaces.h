#pragma once

#include "model/VeskFaceRecords.h"
#include "model/VeskItem.h"
// SecretStore, the secure items' keyring entries, is a platform service with its own stand-in.
#include "platform/CancellationToken.h"
#include "platform/SecretStore.h"

#include <QFuture>
#include <QImage>
#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// What a thumbnail prewarm reads of an item: the file its picture is made from.
struct ThumbnailSource {
    QUuid id;
    VeskKind kind = VeskKind::Text;
    QString filePath;

    friend bool operator==(const ThumbnailSource&, const ThumbnailSource&) = default;
};
// The items a prewarm goes through, in list order, gathered when the provider's worker gets to
// them (none when the list they come from is gone).
using ThumbnailSources = std::function<QList<ThumbnailSource>()>;
// The item's file as a prewarm reads it; none for an item without a file, which has no picture
// to make.
std::optional<ThumbnailSource> thumbnailSourceOf(const VeskItem& item);
// The sources of those items, for a list of the caller's own.
ThumbnailSources thumbnailSourcesOf(const QList<VeskItem>& items);

// Card thumbnails, kept in memory and as PNG files named by the item identifier. Calls return at
// once; the work runs on the provider's own serial worker.
class ThumbnailProvider {
public:
    virtual ~ThumbnailProvider() = default;
    // The item's thumbnail no larger than maxDimension, or a null image when it has no readable file.
    // A request withdrawn before its turn is not decoded and finishes without an image. Withdrawn
    // through the token, not by cancelling the future: Qt 6.4 cancels a future's continuations by
    // walking to each of them, and one that has already run may be gone.
    virtual QFuture<QImage> thumbnail(const VeskItem& item, int maxDimension,
                                      const CancellationToken& withdrawn = CancellationToken()) = 0;
    // Makes or finds the thumbnail of every image item, one at a time, in list order. The items
    // are gathered on the provider's worker rather than handed over: a list handed over is held
    // until then, and the library's list held that way makes its next change copy it whole.
    virtual QFuture<void> prewarmThumbnails(ThumbnailSources sources) = 0;
    // Forgets the entry in memory and deletes its file; failures are ignored.
    virtual QFuture<void> removeThumbnail(const QUuid& id) = 0;
    // Lets go of the thumbnails kept in memory only to answer sooner, once nothing has asked for
    // a while; later requests give the same images, read again from their files.
    virtual void releaseCaches() {}
};

// The preview pane's cache of prepared preview images.
class PreparedPreviewProvider {
public:
    virtual ~PreparedPreviewProvider() = default;
    virtual QFuture<void> removePreparedPreview(const QUuid& id) = 0;
    // Lets go of the pictures kept in memory only to answer sooner, once nothing has asked for a
    // while; later requests give the same pictures, read again from their files.
    virtual void releaseCaches() {}
};

// Recovery snapshots of the database and the managed files.
class RecoverySnapshotService {
public:
    virtual ~RecoverySnapshotService() = default;
    // A saved change: a snapshot follows once changes have settled.
    virtual void noteChange() = 0;
    // Asked once at start-up; skipped when the newest snapshot is recent.
    virtual void requestLaunchSnapshot() = 0;
    // Blocks until the snapshot is taken; false when it failed (the caller goes on regardless).
    virtual bool synchronousSnapshot(const QString& reason) = 0;
    // The snapshot before a destructive change, taken without blocking the caller: the future
    // gives whether it was taken, once it is finished or has failed. A service that takes it at
    // once (as this default does) hands back a finished future.
    virtual QFuture<bool> snapshotBeforeDestructiveChange(const QString& reason)
    {
        return QtFuture::makeReadyFuture(synchronousSnapshot(reason));
    }
};

// Sentence embeddings: text in, a vector or nothing out, computed off the main thread.
class EmbeddingEngine {
public:
    virtual ~EmbeddingEngine() = default;
    virtual QFuture<std::optional<QList<double>>> embed(const QString& text) = 0;
    // The vector of a search, comparable with those of items; an engine may read a search's few
    // words more widely than an item's text.
    virtual QFuture<std::optional<QList<double>>> embedQuery(const QString& text) { return embed(text); }
    // Stored beside each vector.
    virtual QString modelName() const = 0;
    // Lets go of what the engine keeps only to work faster, once nothing has asked it for a while;
    // the vectors it gives afterwards are the same.
    virtual void releaseCaches() {}
    // Reads, in the background, what the engine needs before its first text, so that the first
    // search does not wait for it; the future ends once it is read, true when the engine can work.
    virtual QFuture<bool> prepare() { return QtFuture::makeReadyFuture(true); }
};

// What the analysis of one picture found; each part is empty when it found nothing or failed.
struct ImageAnalysisResult {
    QString text;   // recognised lines joined by "\n"
    QString labels; // label words joined by single spaces
    QList<VeskFaceRecord> faces;
};

// Text recognition, labels and faces of picture files, computed off the main thread. Face records
// come in the detector's order, each with a new identifier, the given item, no pool and the time
// of detection. An unreadable file gives empty results; nothing is ever reported as an error.
class ImageAnalyser {
public:
    virtual ~ImageAnalyser() = default;
    // All three analyses of one picture, run side by side.
    virtual QFuture<ImageAnalysisResult> analyse(const QString& path, const QUuid& itemID) = 0;
    // Faces only.
    virtual QFuture<QList<VeskFaceRecord>> detectFaces(const QString& path, const QUuid& itemID) = 0;
};

// Stand-ins that do nothing, for a store whose collaborators have not been provided.
class NullThumbnailProvider final : public ThumbnailProvider {
public:
    QFuture<QImage> thumbnail(const VeskItem& item, int maxDimension,
                              const CancellationToken& withdrawn = CancellationToken()) override;
    QFuture<void> prewarmThumbnails(ThumbnailSources sources) override;
    QFuture<void> removeThumbnail(const QUuid& id) override;
};

class NullPreparedPreviewProvider final : public PreparedPreviewProvider {
public:
    QFuture<void> removePreparedPreview(const QUuid& id) override;
};

class NullRecoverySnapshotService final : public RecoverySnapshotService {
public:
    void noteChange() override {}
    void requestLaunchSnapshot() override {}
    bool synchronousSnapshot(const QString&) override { return true; }
};

class NullEmbeddingEngine final : public EmbeddingEngine {
public:
    QFuture<std::optional<QList<double>>> embed(const QString& text) override;
    QString modelName() const override { return QStringLiteral("none"); }
};

} // namespace vesk
