#pragma once

#include "platform/preview/FileThumbnailer.h"
#include "platform/SerialExecutor.h"

#include <QFuture>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>

namespace vesk {

// Thumbnails of files by path, for the preview pane's file section. A rendered thumbnail is kept
// for the life of the process (replaced only by a later render of the same path); an icon answer
// is not kept, so the next request renders again.
class ThumbnailLoader {
public:
    ThumbnailLoader() = default;
    ~ThumbnailLoader() { m_executor.waitForDone(); }

    QFuture<FileThumbnail> thumbnail(const QString& path, QSize pixelSize);
    void waitForIdle() { m_executor.waitForDone(); }

private:
    QHash<QString, QImage> m_cache; // touched on the worker only
    SerialExecutor m_executor;
};

} // namespace vesk
