#include "images/ThumbnailLoader.h"

#include "images/CacheFiles.h"

namespace vesk {

ThumbnailLoader::ThumbnailLoader(int budgetKilobytes)
{
    m_cache.setMaxCost(budgetKilobytes);
}

QFuture<FileThumbnail> ThumbnailLoader::thumbnail(const QString& path, QSize pixelSize)
{
    return m_executor.run([this, path, pixelSize] {
        const QImage* found = m_cache.object(path);
        const auto kept = [&] {
            FileThumbnail cached = FileThumbnailer::iconFor(path);
            cached.image = *found;
            return cached;
        };
        // A kept picture serves every request it covers; a larger one is made afresh.
        if (found
            && found->size().scaled(pixelSize, Qt::KeepAspectRatio).boundedTo(found->size())
                   == found->size().scaled(pixelSize, Qt::KeepAspectRatio))
            return kept();
        FileThumbnail made = FileThumbnailer::thumbnail(path, pixelSize);
        if (!made.isIcon()) {
            m_cache.insert(path, new QImage(made.image), cacheCost(made.image));
            return made;
        }
        // The file is gone or no longer renders: what was kept still serves.
        return found ? kept() : made;
    });
}

int ThumbnailLoader::keptKilobytes()
{
    return m_executor.run([this] { return int(m_cache.totalCost()); }).result();
}

} // namespace vesk
