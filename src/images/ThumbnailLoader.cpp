#include "images/ThumbnailLoader.h"

namespace vesk {

QFuture<FileThumbnail> ThumbnailLoader::thumbnail(const QString& path, QSize pixelSize)
{
    return m_executor.run([this, path, pixelSize] {
        const auto found = m_cache.constFind(path);
        const auto kept = [&] {
            FileThumbnail cached = FileThumbnailer::iconFor(path);
            cached.image = found.value();
            return cached;
        };
        // A kept picture serves every request it covers; a larger one is made afresh.
        if (found != m_cache.constEnd()
            && found.value().size().scaled(pixelSize, Qt::KeepAspectRatio).boundedTo(found.value().size())
                   == found.value().size().scaled(pixelSize, Qt::KeepAspectRatio))
            return kept();
        FileThumbnail made = FileThumbnailer::thumbnail(path, pixelSize);
        if (!made.isIcon()) {
            m_cache.insert(path, made.image);
            return made;
        }
        // The file is gone or no longer renders: what was kept still serves.
        return found != m_cache.constEnd() ? kept() : made;
    });
}

} // namespace vesk
