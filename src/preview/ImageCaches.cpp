#include "preview/ImageCaches.h"

#include "platform/AppPaths.h"
#include "preview/PreparedPreviewCache.h"
#include "preview/QuickLookThumb.h"
#include "preview/ThumbnailCache.h"
#include "store/VeskServices.h"

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

ImageCaches ImageCaches::fromServices(const VeskServices& services)
{
    // One file thumbnailer for the whole process, made when a pane first asks for it.
    static const std::shared_ptr<ThumbnailLoader> sharedLoader = std::make_shared<ThumbnailLoader>();
    ImageCaches caches;
    caches.thumbnails = std::dynamic_pointer_cast<ThumbnailCache>(services.thumbnails);
    caches.previews = std::dynamic_pointer_cast<PreparedPreviewCache>(services.preparedPreviews);
    caches.fileThumbnails = sharedLoader;
    return caches;
}

ImageCaches installImageCaches(VeskServices& services)
{
    if (services.dataDirectory.isEmpty())
        services.dataDirectory = AppPaths::dataDirectory();
    ImageCaches caches = ImageCaches::create(services.dataDirectory);
    services.thumbnails = caches.thumbnails;
    services.preparedPreviews = caches.previews;
    return caches;
}

} // namespace vesk
