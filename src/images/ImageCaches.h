#pragma once

#include <QString>
#include <memory>

namespace vesk {

class ThumbnailProvider;
class PreparedPreviewProvider;
class ThumbnailCache;
class PreparedPreviewCache;
class ThumbnailLoader;

// The process's picture caches, created once and shared by the store (through its services) and
// by the views that show pictures.
struct ImageCaches {
    std::shared_ptr<ThumbnailCache> thumbnails;
    std::shared_ptr<PreparedPreviewCache> previews;
    std::shared_ptr<ThumbnailLoader> fileThumbnails;

    // Caches in the data folder's "Thumbnails" and "PreparedPreviews".
    static ImageCaches create(const QString& dataDirectory);
    // The caches the store was given (null where the store has stand-ins), with the process's
    // shared file thumbnailer.
    static ImageCaches fromProviders(const std::shared_ptr<ThumbnailProvider>& thumbnails,
                                     const std::shared_ptr<PreparedPreviewProvider>& previews);
};

} // namespace vesk
