#include "timeline/VeskTimelineMediaCache.h"

#include "platform/image/ImageLoader.h"
#include "timeline/PhotoDates.h"

#include "platform/FutureDelivery.h"

#include <QMutexLocker>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

// The cache's cost unit is a kilobyte, so that its int cost never overflows.
int previewCost(const QImage& image)
{
    return int(qMax<qint64>(1, image.sizeInBytes() / 1024));
}

} // namespace

VeskTimelineMediaCache::VeskTimelineMediaCache(DateReader dates, PreviewMaker previews)
    : m_readDate(dates ? std::move(dates)
                       : DateReader([](const QString& path, const QDateTime& importedAt, const QString& text) {
                             return readPhotoDate(path, importedAt, text);
                         }))
    , m_makePreview(previews ? std::move(previews)
                             : PreviewMaker([](const QString& path, int maxPixels) {
                                   return ImageLoader::load(path, maxPixels);
                               }))
    , m_previews(int(kPreviewMemoryBytes / 1024))
{
    m_pool.setObjectName(QStringLiteral("Vesk timeline image preparation"));
    m_pool.setMaxThreadCount(2);
}

VeskTimelineMediaCache::~VeskTimelineMediaCache()
{
    m_pool.clear();
    m_pool.waitForDone();
}

std::optional<QDateTime> VeskTimelineMediaCache::photoDate(const VeskItem& item)
{
    if (!item.filePath || item.filePath->isEmpty())
        return std::nullopt;
    const QString& path = *item.filePath;
    {
        QMutexLocker locker(&m_dateLock);
        const auto found = m_dates.constFind(path);
        if (found != m_dates.constEnd())
            return *found;
    }
    // The file is read outside the lock: two threads may both read a new path, with one result.
    const std::optional<QDateTime> date = m_readDate(path, item.createdAt, item.searchableText.toString());
    QMutexLocker locker(&m_dateLock);
    m_dates.insert(path, date);
    return date;
}

QImage VeskTimelineMediaCache::preview(const QString& path) const
{
    QMutexLocker locker(&m_previewLock);
    const QImage* image = m_previews.object(path);
    return image ? *image : QImage();
}

bool VeskTimelineMediaCache::previewFailed(const QString& path) const
{
    QMutexLocker locker(&m_previewLock);
    return m_failedPreviews.contains(path);
}

void VeskTimelineMediaCache::loadPreview(const QString& path, QObject* context, std::function<void(bool made)> done)
{
    QFuture<bool> made;
    bool held = false;
    {
        QMutexLocker locker(&m_previewLock);
        held = m_previews.contains(path);
    }
    if (held) {
        // Held already (another cell of the same photo made it meanwhile): the waiting cell is still
        // told, after the caller has returned, or it would wait for good.
        made = QtFuture::makeReadyFuture(true);
    } else {
        made = QtConcurrent::run(&m_pool, [this, path] {
            const QImage image = m_makePreview(path, kPreviewMaxPixels);
            const bool ok = !image.isNull();
            QMutexLocker locker(&m_previewLock);
            if (ok) {
                m_previews.insert(path, new QImage(image), previewCost(image));
                m_failedPreviews.remove(path);
            } else {
                m_failedPreviews.insert(path);
            }
            return ok;
        });
    }
    if (done && context)
        deliverResult(context, made, [done = std::move(done)](bool ok) { done(ok); });
}

void VeskTimelineMediaCache::waitForPreviews()
{
    m_pool.waitForDone();
}

} // namespace vesk
