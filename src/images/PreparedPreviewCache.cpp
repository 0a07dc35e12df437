#include "images/PreparedPreviewCache.h"

#include "platform/image/ImageLoader.h"
#include "platform/Uuid.h"
#include "images/CacheFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QRegularExpression>

namespace vesk {

namespace {

QString memoryKey(const QUuid& id)
{
    return QString::number(PreparedPreviewCache::kCacheVersion) + QLatin1Char('-') + uuidString(id);
}

} // namespace

PreparedPreviewCache::PreparedPreviewCache(QString folder, std::shared_ptr<ThumbnailProvider> thumbnails,
                                           int budgetKilobytes)
    : m_folder(std::move(folder))
    , m_thumbnails(std::move(thumbnails))
{
    m_memory.setMaxCost(budgetKilobytes);
}

PreparedPreviewCache::~PreparedPreviewCache()
{
    m_executor.waitForDone();
}

QString PreparedPreviewCache::defaultFolder(const QString& dataDirectory)
{
    return QDir(dataDirectory).filePath(QStringLiteral("PreparedPreviews"));
}

QString PreparedPreviewCache::previewFileFor(const QUuid& id) const
{
    return QDir(m_folder).filePath(QStringLiteral("v%1-%2.png").arg(kCacheVersion).arg(uuidString(id)));
}

QFuture<QImage> PreparedPreviewCache::preparedImage(const VeskItem& item)
{
    auto promise = std::make_shared<QPromise<QImage>>();
    promise->start();
    QFuture<QImage> future = promise->future();
    std::shared_ptr<ThumbnailProvider> thumbnails = m_thumbnails;
    m_executor.run([this, item, promise, thumbnails] {
        bool madeNew = false;
        const QImage prepared = prepareNow(item, &madeNew);
        if (!prepared.isNull() || !thumbnails) {
            promise->addResult(prepared);
            promise->finish();
            if (madeNew)
                writeCacheImage(m_folder, QFileInfo(previewFileFor(item.id)).fileName(), prepared,
                    QStringLiteral("Vesk prepared-preview write error: "));
            return;
        }
        // The fallback waits on the thumbnail worker without holding this one.
        thumbnails->thumbnail(item, kFallbackDimension)
            .then(QtFuture::Launch::Sync, [promise](QImage thumbnail) {
                promise->addResult(thumbnail);
                promise->finish();
            })
            .onCanceled([promise] {
                promise->addResult(QImage());
                promise->finish();
            });
    });
    return future;
}

QImage PreparedPreviewCache::prepareNow(const VeskItem& item, bool* madeNew)
{
    *madeNew = false;
    const QString key = memoryKey(item.id);
    if (const QImage* cached = m_memory.object(key))
        return *cached;

    const QString file = previewFileFor(item.id);
    if (QImage stored = readCacheImage(file); !stored.isNull()) {
        m_memory.insert(key, new QImage(stored), cacheCost(stored));
        return stored;
    }

    if (!item.filePath)
        return {};
    const QImage prepared = ImageLoader::load(*item.filePath, kPreparedDimension);
    if (prepared.isNull())
        return {};

    m_memory.insert(key, new QImage(prepared), cacheCost(prepared));
    *madeNew = true;
    return prepared;
}

void PreparedPreviewCache::releaseCaches()
{
    // The memory is touched only on the worker.
    (void)m_executor.run([this] { m_memory.clear(); });
}

int PreparedPreviewCache::keptKilobytes()
{
    return m_executor.run([this] { return int(m_memory.totalCost()); }).result();
}

QFuture<void> PreparedPreviewCache::removePreparedPreview(const QUuid& id)
{
    return m_executor.run([this, id] {
        m_memory.remove(memoryKey(id));
        const QString name = uuidString(id);
        static const QRegularExpression versioned(QStringLiteral("^v[0-9]+-"));
        const QDir folder(m_folder);
        const QStringList files = folder.entryList({QStringLiteral("v*-") + name + QStringLiteral(".png")}, QDir::Files);
        for (const QString& fileName : files) {
            // Only our own naming: "v<version>-<ID>.png".
            if (versioned.match(fileName).hasMatch())
                QFile::remove(folder.filePath(fileName));
        }
    });
}

} // namespace vesk
