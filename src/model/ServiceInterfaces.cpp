#include "model/ServiceInterfaces.h"

namespace vesk {

QFuture<QImage> NullThumbnailProvider::thumbnail(const VeskItem&, int, const CancellationToken&)
{
    return QtFuture::makeReadyFuture(QImage());
}

QFuture<void> NullThumbnailProvider::prewarmThumbnails(const QList<VeskItem>&)
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
