#pragma once

#include "platform/SerialExecutor.h"
#include "model/VeskItem.h"
#include "model/ServiceInterfaces.h"

#include <QCache>
#include <QFuture>
#include <QImage>
#include <QString>
#include <atomic>
#include <memory>

namespace vesk {

// The card thumbnails: one image per item, keyed by its identifier only (the first size made is
// what every later caller gets), in memory and as "<ID>.png" in its folder, made from the item's
// managed file otherwise. All work runs one request at a time on a private worker; callers on
// the main thread take results with deliverResult.
class ThumbnailCache final : public ThumbnailProvider {
public:
    // `folder` is created on the first write.
    explicit ThumbnailCache(QString folder);
    ~ThumbnailCache() override;

    // The data folder's "Thumbnails".
    static QString defaultFolder(const QString& dataDirectory);
    // Whether a prewarm makes a thumbnail for the item: an image, or a file with one of the ten
    // picture extensions.
    static bool qualifiesForPrewarm(const ThumbnailSource& item);

    // A null image when there is none and none can be made.
    QFuture<QImage> thumbnail(const VeskItem& item, int maxDimension,
                              const CancellationToken& withdrawn = CancellationToken()) override;
    // Goes through the image items in order and writes the thumbnail files (520) that are
    // missing; it reads none that exist and keeps nothing in memory. Unlike a single long job, it
    // gives way to requests that arrive meanwhile after each item, so a card never waits for a
    // whole library.
    QFuture<void> prewarmThumbnails(ThumbnailSources sources) override;
    QFuture<void> removeThumbnail(const QUuid& id) override;
    // After the requests already handed over.
    void releaseCaches() override;

    QString folder() const { return m_folder; }
    QString fileFor(const QUuid& id) const;

    // Waits for all queued work; for tests and benchmarks.
    void waitForIdle() { m_executor.waitForDone(); }

    static constexpr int kPrewarmDimension = 520;

private:
    struct PrewarmRun;

    // Runs on the worker. A newly made thumbnail is in memory on return; its file is written by
    // storeFile, which callers run after answering so the picture is not held up by encoding.
    QImage thumbnailNow(const VeskItem& item, int maxDimension, bool* madeNew);
    void storeFile(const QUuid& id, const QImage& image);
    void prewarmStep(std::shared_ptr<PrewarmRun> run);

    QString m_folder;
    // Stands in for a cache the system trims under memory pressure: bounded by bytes, so a
    // library of 100,000 pictures cannot grow the process without limit.
    QCache<QString, QImage> m_memory;
    std::atomic<bool> m_closing{false};
    // Bulk work: the main thread is preferred whenever it wants a core.
    SerialExecutor m_executor{QThread::LowPriority};
};

} // namespace vesk
