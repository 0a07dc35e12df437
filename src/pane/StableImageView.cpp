#include "pane/StableImageView.h"

#include <QPainter>

namespace vesk {

StableImageView::StableImageView(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setAttribute(Qt::WA_TranslucentBackground);
}

void StableImageView::setImage(const QImage& image)
{
    if (!m_image.isNull() && image.cacheKey() == m_image.cacheKey())
        return;
    if (m_image.isNull() && image.isNull())
        return;
    m_image = image;
    // Converted once here, on the main thread, so painting is only a blit.
    m_pixmap = image.isNull() ? QPixmap() : QPixmap::fromImage(image);
    ++m_generation;
    update();
}

QRectF StableImageView::fittedRect(const QSizeF& imageSize, const QRectF& bounds)
{
    if (imageSize.isEmpty() || bounds.isEmpty())
        return {};
    const QSizeF size = imageSize.scaled(bounds.size(), Qt::KeepAspectRatio);
    return {bounds.x() + (bounds.width() - size.width()) / 2, bounds.y() + (bounds.height() - size.height()) / 2,
        size.width(), size.height()};
}

void StableImageView::paintEvent(QPaintEvent*)
{
    if (m_pixmap.isNull())
        return;
    QPainter painter(this);
    painter.setClipRect(rect());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(fittedRect(m_pixmap.size(), QRectF(rect())), m_pixmap, QRectF(m_pixmap.rect()));
}

} // namespace vesk
