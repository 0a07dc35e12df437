#include "images/ImageCaches.h"

#include "images/PreparedPreviewCache.h"
#include "images/ThumbnailLoader.h"
#include "images/ThumbnailCache.h"
#include "model/ServiceInterfaces.h"

#include <QCoreApplication>

namespace vesk {

namespace {

// One file thumbnailer for the whole process, made when a pane first asks for it. Its worker is
// waited for while the application object goes, not among the static objects after it: by then
// Qt's own statics the worker uses (the MIME database) may already be gone.
const std::shared_ptr<ThumbnailLoader>& sharedFileThumbnails()
{
    static const std::shared_ptr<ThumbnailLoader> loader = [] {
        qAddPostRoutine([] { sharedFileThumbnails()->waitForIdle(); });
        return std::make_shared<ThumbnailLoader>();
    }();
    return loader;
}

} // namespace

ImageCaches ImageCaches::create(const QString& dataDirectory)
{
    ImageCaches caches;
    caches.thumbnails = std::make_shared<ThumbnailCache>(ThumbnailCache::defaultFolder(dataDirectory));
    caches.previews = std::make_shared<PreparedPreviewCache>(
        PreparedPreviewCache::defaultFolder(dataDirectory), caches.thumbnails);
    caches.fileThumbnails = std::make_shared<ThumbnailLoader>();
    return caches;
}

ImageCaches ImageCaches::fromProviders(const std::shared_ptr<ThumbnailProvider>& thumbnails,
                                       const std::shared_ptr<PreparedPreviewProvider>& previews)
{
    ImageCaches caches;
    caches.thumbnails = std::dynamic_pointer_cast<ThumbnailCache>(thumbnails);
    caches.previews = std::dynamic_pointer_cast<PreparedPreviewCache>(previews);
    caches.fileThumbnails = sharedFileThumbnails();
    return caches;
}

} // namespace vesk
