#include "images/ThumbnailLoader.h"

namespace vesk {

QFuture<FileThumbnail> ThumbnailLoader::thumbnail(const QString& path, QSize pixelSize)
{
    return m_executor.run([this, path, pixelSize] {
        if (const auto found = m_cache.constFind(path); found != m_cache.constEnd()) {
            FileThumbnail cached = FileThumbnailer::iconFor(path);
            cached.image = found.value();
            return cached;
        }
        FileThumbnail made = FileThumbnailer::thumbnail(path, pixelSize);
        if (!made.isIcon())
            m_cache.insert(path, made.image);
        return made;
    });
}

} // namespace vesk
