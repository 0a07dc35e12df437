#include "imageeditor/VeskCropOverlay.h"

#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>

namespace vesk {

namespace {

QString tooltip(CropHandle handle)
{
    switch (handle) {
    case CropHandle::Top:
    case CropHandle::Bottom: return QStringLiteral("Drag up or down");
    case CropHandle::Left:
    case CropHandle::Right: return QStringLiteral("Drag left or right");
    case CropHandle::Move: return QStringLiteral("Drag to reposition crop");
    default: return QStringLiteral("Drag corner to crop");
    }
}

void drawBracket(QPainter& painter, QPointF corner, double horizontal, double vertical)
{
    painter.drawPolyline(QPolygonF{corner + QPointF(0, vertical), corner, corner + QPointF(horizontal, 0)});
}

} // namespace

VeskCropOverlay::VeskCropOverlay(QWidget* parent, CropOverlayMetrics metrics) : QWidget(parent), m_metrics(metrics)
{
    setObjectName(QStringLiteral("cropOverlay"));
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(false);
}

void VeskCropOverlay::setImageFrame(const QRectF& frame)
{
    if (frame == m_imageFrame)
        return;
    m_imageFrame = frame;
    update();
}

void VeskCropOverlay::setInsets(const CropInsets& insets)
{
    if (insets == m_insets)
        return;
    m_insets = insets;
    update();
}

void VeskCropOverlay::paintEvent(QPaintEvent*)
{
    if (m_imageFrame.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF crop = cropRect(m_imageFrame, m_insets);

    QPainterPath dim;
    dim.setFillRule(Qt::OddEvenFill);
    dim.addRect(m_imageFrame);
    dim.addRect(crop);
    painter.fillPath(dim, Theme::black(0.42));

    painter.setPen(QPen(Theme::white(0.95), 1.2));
    painter.drawRect(crop);

    painter.setPen(QPen(Theme::white(0.3), 0.7, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    for (const double third : {1.0 / 3.0, 2.0 / 3.0}) {
        const double x = crop.left() + crop.width() * third;
        const double y = crop.top() + crop.height() * third;
        painter.drawLine(QPointF(x, crop.top()), QPointF(x, crop.bottom()));
        painter.drawLine(QPointF(crop.left(), y), QPointF(crop.right(), y));
    }

    const double arm = std::min(std::min(crop.width(), crop.height()) / 3, m_metrics.cornerArm);
    painter.setPen(QPen(Theme::white(), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    drawBracket(painter, crop.topLeft(), arm, arm);
    drawBracket(painter, crop.topRight(), -arm, arm);
    drawBracket(painter, crop.bottomLeft(), arm, -arm);
    drawBracket(painter, crop.bottomRight(), -arm, -arm);

    // Edge bars: white capsules with a soft shadow.
    for (const CropHandle handle : {CropHandle::Top, CropHandle::Bottom, CropHandle::Left, CropHandle::Right}) {
        const bool horizontal = handle == CropHandle::Top || handle == CropHandle::Bottom;
        const QSizeF size = horizontal ? QSizeF(m_metrics.edgeHandleLength, 4) : QSizeF(4, m_metrics.edgeHandleLength);
        const QPointF centre = cropHandlePosition(handle, crop);
        const QPainterPath bar = Painting::capsule(QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size));
        Painting::drawSoftShadow(painter, bar, Theme::black(0.35), 2, QPointF(0, 1));
        painter.fillPath(bar, Theme::white());
    }
    // Corner knobs.
    painter.setPen(QPen(Theme::black(0.25), 0.8));
    painter.setBrush(Theme::white());
    for (const CropHandle handle : {CropHandle::TopLeft, CropHandle::TopRight, CropHandle::BottomLeft, CropHandle::BottomRight})
        painter.drawEllipse(cropHandlePosition(handle, crop), 4.5, 4.5);
}

void VeskCropOverlay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_dragHandle = cropHandleAt(event->position(), m_imageFrame, m_insets, m_metrics);
    if (!m_dragHandle) {
        event->ignore();
        return;
    }
    m_pressPosition = event->position();
    dragTo(event->position());
}

void VeskCropOverlay::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragHandle)
        dragTo(event->position());
}

void VeskCropOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragHandle)
        dragTo(event->position());
    m_dragHandle.reset();
    m_dragStartInsets.reset();
}

void VeskCropOverlay::dragTo(QPointF position)
{
    if (!m_dragStartInsets)
        m_dragStartInsets = m_insets;
    if (!(m_imageFrame.width() > 0) || !(m_imageFrame.height() > 0))
        return;
    const QPointF translation = position - m_pressPosition;
    const CropInsets updated = updateCropInsets(*m_dragHandle, *m_dragStartInsets, translation.x() / m_imageFrame.width(),
                                                translation.y() / m_imageFrame.height(), m_metrics.minimumFraction);
    if (updated == m_insets)
        return;
    m_insets = updated;
    update();
    emit insetsChanged(m_insets);
}

bool VeskCropOverlay::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const std::optional<CropHandle> handle = cropHandleAt(help->pos(), m_imageFrame, m_insets, m_metrics))
            QToolTip::showText(help->globalPos(), tooltip(*handle), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace vesk
