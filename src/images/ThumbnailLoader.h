#pragma once

#include "platform/preview/FileThumbnailer.h"
#include "platform/SerialExecutor.h"

#include <QCache>
#include <QFuture>
#include <QImage>
#include <QSize>
#include <QString>

namespace vesk {

// Thumbnails of files by path, for the preview pane's file section. Rendered thumbnails are kept
// up to a memory budget, the most recently used first (one is replaced only by a later render of
// the same path); an icon answer is not kept, so the next request renders again.
class ThumbnailLoader {
public:
    // The pane shows one file at a time, at most a few megabytes at a screen's scale of two: the
    // last few files opened stay at hand, the others are rendered again when opened again.
    static constexpr int kMemoryBudgetKilobytes = 16 * 1024;

    explicit ThumbnailLoader(int budgetKilobytes = kMemoryBudgetKilobytes);
    ~ThumbnailLoader() { m_executor.waitForDone(); }

    QFuture<FileThumbnail> thumbnail(const QString& path, QSize pixelSize);
    void waitForIdle() { m_executor.waitForDone(); }

    // What the kept thumbnails take, in kilobytes; waits for the requests before it.
    int keptKilobytes();

private:
    QCache<QString, QImage> m_cache; // touched on the worker only; costs in kilobytes
    SerialExecutor m_executor;
};

} // namespace vesk
