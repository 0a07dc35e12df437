#include "editor/MarkupPainting.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr double kReferenceLongSide = 900;
constexpr double kHeadLengthFactor = 4.2;
constexpr double kHeadHalfWidthFactor = 2.8;
constexpr double kHighlighterFactor = 3.2;
constexpr double kTextFactor = 4;

QPointF toPicture(QPointF unit, QSizeF size)
{
    return QPointF(unit.x() * size.width(), unit.y() * size.height());
}

QPen roundPen(const QColor& color, double width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    return pen;
}

QPainterPath strokePath(const QList<QPointF>& points, QSizeF size)
{
    QPainterPath path(toPicture(points.first(), size));
    for (qsizetype i = 1; i < points.size(); ++i)
        path.lineTo(toPicture(points[i], size));
    return path;
}

QRectF spannedBox(QPointF s, QPointF e)
{
    return QRectF(std::min(s.x(), e.x()), std::min(s.y(), e.y()), std::abs(e.x() - s.x()), std::abs(e.y() - s.y()));
}

void drawArrow(QPainter& painter, QPointF s, QPointF e, double lineWidth, const QColor& color,
               const MarkupMetrics& metrics)
{
    painter.setPen(roundPen(color, metrics.strokeWidth(lineWidth)));
    painter.drawLine(s, e);
    const QPointF d = e - s;
    const double length = std::max(std::hypot(d.x(), d.y()), 1.0);
    const QPointF n = d / length;
    const double head = metrics.headLength(lineWidth);
    const double half = metrics.headHalfWidth(lineWidth);
    const QPointF base = e - head * n;
    const QPolygonF triangle{e, QPointF(base.x() - n.y() * half, base.y() + n.x() * half),
                             QPointF(base.x() + n.y() * half, base.y() - n.x() * half)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPolygon(triangle, Qt::WindingFill);
    painter.setBrush(Qt::NoBrush);
}

} // namespace

MarkupMetrics MarkupMetrics::onCanvas()
{
    return MarkupMetrics{};
}

MarkupMetrics MarkupMetrics::flattened(double width, double height)
{
    MarkupMetrics metrics;
    metrics.scale = std::max(width, height) / kReferenceLongSide;
    metrics.minimumStroke = 1.5;
    metrics.minimumHeadLength = 14;
    metrics.minimumHeadHalfWidth = 9;
    metrics.minimumHighlighterWidth = 12;
    metrics.minimumTextSize = 18;
    return metrics;
}

double MarkupMetrics::strokeWidth(double lineWidth) const
{
    return std::max(lineWidth * scale, minimumStroke);
}

double MarkupMetrics::headLength(double lineWidth) const
{
    return std::max(strokeWidth(lineWidth) * kHeadLengthFactor, minimumHeadLength);
}

double MarkupMetrics::headHalfWidth(double lineWidth) const
{
    return std::max(strokeWidth(lineWidth) * kHeadHalfWidthFactor, minimumHeadHalfWidth);
}

double MarkupMetrics::highlighterWidth(double lineWidth) const
{
    return std::max(lineWidth * kHighlighterFactor * scale, minimumHighlighterWidth);
}

double MarkupMetrics::textSize(double lineWidth) const
{
    return std::max(lineWidth * kTextFactor * scale, minimumTextSize);
}

QFont markupTextFont(double size)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, int(std::lround(size))));
    font.setWeight(QFont::DemiBold);
    return font;
}

void drawMarkupElement(QPainter& painter, const VeskMarkupElement& element, QSizeF size, const MarkupMetrics& metrics)
{
    const QColor color = element.color;
    const double w = element.lineWidth;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    switch (element.kind) {
    case VeskMarkupTool::Arrow:
        if (element.start && element.end)
            drawArrow(painter, toPicture(*element.start, size), toPicture(*element.end, size), w, color, metrics);
        break;
    case VeskMarkupTool::Line:
        if (element.start && element.end) {
            painter.setPen(roundPen(color, metrics.strokeWidth(w)));
            painter.drawLine(toPicture(*element.start, size), toPicture(*element.end, size));
        }
        break;
    case VeskMarkupTool::Rectangle:
        if (element.start && element.end) {
            painter.setPen(roundPen(color, metrics.strokeWidth(w)));
            painter.drawRect(spannedBox(toPicture(*element.start, size), toPicture(*element.end, size)));
        }
        break;
    case VeskMarkupTool::Circle:
    case VeskMarkupTool::Ellipse:
        if (element.start && element.end) {
            painter.setPen(roundPen(color, metrics.strokeWidth(w)));
            painter.drawEllipse(spannedBox(toPicture(*element.start, size), toPicture(*element.end, size)));
        }
        break;
    case VeskMarkupTool::Freehand:
        if (!element.points.isEmpty()) {
            painter.setPen(roundPen(color, metrics.strokeWidth(w)));
            painter.drawPath(strokePath(element.points, size));
        }
        break;
    case VeskMarkupTool::Highlighter:
        if (!element.points.isEmpty()) {
            QColor translucent = color;
            translucent.setAlphaF(float(color.alphaF() * kHighlighterOpacity));
            painter.setPen(roundPen(translucent, metrics.highlighterWidth(w)));
            painter.drawPath(strokePath(element.points, size));
        }
        break;
    case VeskMarkupTool::Text:
        if (element.start && element.text) {
            painter.setFont(markupTextFont(metrics.textSize(w)));
            painter.setPen(color);
            const QPointF s = toPicture(*element.start, size);
            painter.drawText(QRectF(s, QSizeF(1e6, 1e6)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, *element.text);
        }
        break;
    }
    painter.restore();
}

void stampMarkup(QImage& image, const QList<VeskMarkupElement>& elements, QRect target)
{
    if (elements.isEmpty() || image.isNull())
        return;
    if (target.isEmpty())
        target = image.rect();
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setClipRect(target);
    painter.translate(target.topLeft());
    const QSizeF size(target.width(), target.height());
    const MarkupMetrics metrics = MarkupMetrics::flattened(size.width(), size.height());
    for (const VeskMarkupElement& element : elements)
        drawMarkupElement(painter, element, size, metrics);
}

} // namespace vesk
