#include "model/ServiceInterfaces.h"

namespace vesk {

QFuture<QImage> NullThumbnailProvider::thumbnail(const VeskItem&, int, const CancellationToken&)
{
    return QtFuture::makeReadyFuture(QImage());
}

std::optional<ThumbnailSource> thumbnailSourceOf(const VeskItem& item)
{
    if (!item.filePath)
        return std::nullopt;
    return ThumbnailSource{item.id, item.kind, *item.filePath};
}

ThumbnailSources thumbnailSourcesOf(const QList<VeskItem>& items)
{
    return [items] {
        QList<ThumbnailSource> sources;
        for (const VeskItem& item : items) {
            if (auto source = thumbnailSourceOf(item))
                sources.append(*source);
        }
        return sources;
    };
}

QFuture<void> NullThumbnailProvider::prewarmThumbnails(ThumbnailSources)
{
    return QtFuture::makeReadyFuture();
}

QFuture<void> NullThumbnailProvider::removeThumbnail(const QUuid&)
{
    return QtFuture::makeReadyFuture();
}

QFuture<void> NullPreparedPreviewProvider::removePreparedPreview(const QUuid&)
{
    return QtFuture::makeReadyFuture();
}

QFuture<std::optional<QList<double>>> NullEmbeddingEngine::embed(const QString&)
{
    return QtFuture::makeReadyFuture(std::optional<QList<double>>());
}

} // namespace vesk
