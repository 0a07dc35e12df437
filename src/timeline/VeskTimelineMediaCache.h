#pragma once

#include "model/VeskItem.h"

#include <QCache>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <functional>
#include <optional>

namespace vesk {

// Photo dates and cell previews of person timelines, shared by the timeline window and the
// photo-book export. One instance lives for the whole process (the application owns it). Dates
// are asked from the main thread and from export threads; previews are made on a pool of two
// threads and handed back on the main thread.
class VeskTimelineMediaCache {
public:
    // The uncached date rule (path, import date, searchable text); readPhotoDate by default.
    using DateReader = std::function<std::optional<QDateTime>(const QString& path, const QDateTime& importedAt,
                                                              const QString& searchableText)>;
    // Makes a preview no larger than the given longest side; a null image when it cannot.
    using PreviewMaker = std::function<QImage(const QString& path, int maxPixels)>;

    static constexpr int kPreviewMaxPixels = 900;
    // Previews are bounded by memory, not by count: the oldest unused ones are dropped first.
    static constexpr qint64 kPreviewMemoryBytes = 192ll * 1024 * 1024;

    explicit VeskTimelineMediaCache(DateReader dates = {}, PreviewMaker previews = {});
    ~VeskTimelineMediaCache();

    VeskTimelineMediaCache(const VeskTimelineMediaCache&) = delete;
    VeskTimelineMediaCache& operator=(const VeskTimelineMediaCache&) = delete;

    // The date the photo was taken; any thread. Each path is read once for the life of the cache,
    // a path without a date included. An item without a file has no date and is not remembered.
    std::optional<QDateTime> photoDate(const VeskItem& item);

    // The finished preview of a path, or a null image.
    QImage preview(const QString& path) const;
    // True once making the path's preview has failed (the cell then stops waiting for it).
    bool previewFailed(const QString& path) const;

    // Main thread. Unless a preview of the path is held already, makes one on the pool; either
    // way calls `done` later on the main thread with whether it succeeded (true at once for a
    // held one). `done` is dropped when `context` is gone by then.
    void loadPreview(const QString& path, QObject* context, std::function<void(bool made)> done);

    // Blocks until every queued preview is finished; for tests and an orderly exit.
    void waitForPreviews();

private:
    DateReader m_readDate;
    PreviewMaker m_makePreview;

    mutable QMutex m_dateLock;
    QHash<QString, std::optional<QDateTime>> m_dates;

    mutable QMutex m_previewLock;
    QCache<QString, QImage> m_previews;
    QSet<QString> m_failedPreviews;

    QThreadPool m_pool;
};

} // namespace vesk
