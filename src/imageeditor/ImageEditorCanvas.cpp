#include "imageeditor/ImageEditorCanvas.h"

#include "imageeditor/VeskCropOverlay.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QPainter>

namespace vesk {

namespace {

constexpr double kPadding = 28;

} // namespace

ImageEditorCanvas::ImageEditorCanvas(QWidget* parent) : QWidget(parent), m_overlay(new VeskCropOverlay(this))
{
    setObjectName(QStringLiteral("imageEditorCanvas"));
    setMinimumSize(200, 200);
    m_overlay->hide();
}

void ImageEditorCanvas::setPicture(const QImage& picture)
{
    m_content = picture.isNull() ? Content::Failed : Content::Picture;
    m_picture = picture;
    m_pixmap = QPixmap::fromImage(picture);
    m_overlay->setVisible(m_content == Content::Picture);
    layoutOverlay();
    update();
}

void ImageEditorCanvas::showFailure()
{
    setPicture({});
}

QRectF ImageEditorCanvas::imageFrame() const
{
    if (m_content != Content::Picture)
        return {};
    return aspectFitRect(m_picture.width(), m_picture.height(), width(), height(), kPadding);
}

void ImageEditorCanvas::layoutOverlay()
{
    m_overlay->setGeometry(rect());
    m_overlay->setImageFrame(imageFrame());
}

void ImageEditorCanvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutOverlay();
}

void ImageEditorCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const Theme& theme = Theme::current();
    painter.fillRect(rect(), theme.underPageBackground());
    if (m_content == Content::Picture) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(imageFrame(), m_pixmap, QRectF(m_pixmap.rect()));
        return;
    }
    if (m_content == Content::Failed) {
        const QString text = QStringLiteral("This image could not be loaded.");
        const QFont font = Theme::font(TextStyle::Headline);
        const QFontMetrics metrics(font);
        const double blockHeight = 34 + 10 + metrics.height();
        const double top = (height() - blockHeight) / 2;
        IconMap::paint(painter, QRectF(0, top, width(), 34), QStringLiteral("photo.badge.exclamationmark"),
                       theme.secondary(), 34);
        painter.setFont(font);
        painter.setPen(theme.label());
        painter.drawText(QRectF(0, top + 44, width(), metrics.height()), Qt::AlignCenter, text);
    }
}

} // namespace vesk
