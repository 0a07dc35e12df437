#include "images/ThumbnailCache.h"
#include "model/ItemFileKinds.h"

#include "platform/image/ImageLoader.h"
#include "platform/Uuid.h"
#include "images/CacheFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPromise>

namespace vesk {

namespace {

// Cards keep the pictures they paint themselves; what is kept here only saves reading a PNG file
// back when a card returns. A few screens of cards, so that a library browsed for a while does not
// hold hundreds of megabytes of pictures no card shows.
constexpr int kMemoryBudgetKilobytes = 64 * 1024;

const QString& writeErrorPrefix()
{
    static const QString prefix = QStringLiteral("Vesk thumbnail cache write error: ");
    return prefix;
}

} // namespace

struct ThumbnailCache::PrewarmRun {
    QList<ThumbnailSource> items;
    qsizetype next = 0;
    QPromise<void> promise;
};

ThumbnailCache::ThumbnailCache(QString folder)
    : m_folder(std::move(folder))
{
    m_memory.setMaxCost(kMemoryBudgetKilobytes);
}

ThumbnailCache::~ThumbnailCache()
{
    // A running prewarm re-queues itself; stop it before waiting for the worker to drain.
    m_closing = true;
    m_executor.waitForDone();
}

QString ThumbnailCache::defaultFolder(const QString& dataDirectory)
{
    return QDir(dataDirectory).filePath(QStringLiteral("Thumbnails"));
}

bool ThumbnailCache::qualifiesForPrewarm(const ThumbnailSource& item)
{
    return item.kind == VeskKind::Image || hasImageFileExtension(item.filePath);
}

QString ThumbnailCache::fileFor(const QUuid& id) const
{
    return QDir(m_folder).filePath(uuidString(id) + QStringLiteral(".png"));
}

QFuture<QImage> ThumbnailCache::thumbnail(const VeskItem& item, int maxDimension, const CancellationToken& withdrawn)
{
    auto promise = std::make_shared<QPromise<QImage>>();
    promise->start();
    QFuture<QImage> future = promise->future();
    m_executor.run([this, item, maxDimension, promise, withdrawn] {
        // Withdrawn while it waited (its card left the view): no decoding for nobody.
        if (promise->isCanceled() || withdrawn.isCancelled()) {
            // Cancelled before it finishes, its continuations have not run and are all still
            // there to be told; they see a cancelled request, not a missing image.
            promise->future().cancel();
            promise->finish();
            return;
        }
        bool madeNew = false;
        const QImage image = thumbnailNow(item, maxDimension, &madeNew);
        promise->addResult(image);
        promise->finish();
        if (madeNew)
            storeFile(item.id, image);
    });
    return future;
}

void ThumbnailCache::releaseCaches()
{
    // The memory is touched only on the worker.
    (void)m_executor.run([this] { m_memory.clear(); });
}

void ThumbnailCache::storeFile(const QUuid& id, const QImage& image)
{
    writeCacheImage(m_folder, QFileInfo(fileFor(id)).fileName(), image, writeErrorPrefix());
}

QImage ThumbnailCache::thumbnailNow(const VeskItem& item, int maxDimension, bool* madeNew)
{
    *madeNew = false;
    const QString key = uuidString(item.id);
    if (const QImage* cached = m_memory.object(key))
        return *cached;

    const QString file = fileFor(item.id);
    if (QImage stored = readCacheImage(file); !stored.isNull()) {
        m_memory.insert(key, new QImage(stored), cacheCost(stored));
        return stored;
    }

    if (!item.filePath || maxDimension < 1)
        return {};
    const QImage made = ImageLoader::load(*item.filePath, maxDimension);
    if (made.isNull())
        return {};

    m_memory.insert(key, new QImage(made), cacheCost(made));
    *madeNew = true;
    return made;
}

QFuture<void> ThumbnailCache::prewarmThumbnails(ThumbnailSources sources)
{
    auto run = std::make_shared<PrewarmRun>();
    run->promise.start();
    QFuture<void> future = run->promise.future();
    // The pictures are gathered and picked out on the worker: a large library is a long list for
    // the caller's thread.
    m_executor.run([this, run, sources = std::move(sources)] {
        for (const ThumbnailSource& item : sources()) {
            if (qualifiesForPrewarm(item))
                run->items.append(item);
        }
        prewarmStep(run);
    });
    return future;
}

void ThumbnailCache::prewarmStep(std::shared_ptr<PrewarmRun> run)
{
    if (m_closing || run->next >= run->items.size()) {
        run->promise.finish();
        return;
    }
    // A prewarm only sees to it that the file exists: a thumbnail already on disk is not decoded,
    // and a new one is not kept in memory, where only the cards that ask for theirs belong (a
    // large library would otherwise fill the whole memory budget at every start).
    const ThumbnailSource& item = run->items.at(run->next++);
    if (!m_memory.contains(uuidString(item.id)) && !QFileInfo::exists(fileFor(item.id)) && !item.filePath.isEmpty()) {
        const QImage made = ImageLoader::load(item.filePath, kPrewarmDimension);
        if (!made.isNull())
            storeFile(item.id, made);
    }
    // Queue the next item behind whatever arrived meanwhile.
    m_executor.run([this, run] { prewarmStep(run); });
}

QFuture<void> ThumbnailCache::removeThumbnail(const QUuid& id)
{
    return m_executor.run([this, id] {
        m_memory.remove(uuidString(id));
        const QString file = fileFor(id);
        if (QFileInfo::exists(file))
            QFile::remove(file);
    });
}

} // namespace vesk
