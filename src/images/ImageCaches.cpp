#include "images/ImageCaches.h"

#include "images/PreparedPreviewCache.h"
#include "images/ThumbnailLoader.h"
#include "images/ThumbnailCache.h"
#include "model/ServiceInterfaces.h"

namespace vesk {

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
    // One file thumbnailer for the whole process, made when a pane first asks for it.
    static const std::shared_ptr<ThumbnailLoader> sharedLoader = std::make_shared<ThumbnailLoader>();
    ImageCaches caches;
    caches.thumbnails = std::dynamic_pointer_cast<ThumbnailCache>(thumbnails);
    caches.previews = std::dynamic_pointer_cast<PreparedPreviewCache>(previews);
    caches.fileThumbnails = sharedLoader;
    return caches;
}

} // namespace vesk
