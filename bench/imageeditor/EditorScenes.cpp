#include "EditorScenes.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <cmath>

namespace vesk::bench {

QImage makeScenePicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = size.width();
    const double h = size.height();
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(70, 130, 210));
    sky.setColorAt(0.6, QColor(250, 200, 150));
    sky.setColorAt(1, QColor(90, 140, 80));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 230, 120));
    painter.drawEllipse(QPointF(w * 0.75, h * 0.28), h * 0.1, h * 0.1);
    QPainterPath hills(QPointF(0, h));
    for (int x = 0; x <= 40; ++x)
        hills.lineTo(w * x / 40, h * (0.7 + 0.08 * std::sin(x * 0.6)));
    hills.lineTo(w, h);
    painter.setBrush(QColor(60, 120, 70));
    painter.drawPath(hills);
    painter.setBrush(QColor(200, 60, 60));
    painter.drawRect(QRectF(w * 0.15, h * 0.55, w * 0.12, h * 0.18));
    painter.setBrush(QColor(240, 240, 240));
    painter.drawPolygon(QPolygonF{QPointF(w * 0.14, h * 0.55), QPointF(w * 0.21, h * 0.45), QPointF(w * 0.28, h * 0.55)});
    return image;
}

QList<VeskMarkupElement> makeMarkupElements(int count)
{
    QRandomGenerator random(42);
    const QColor colours[] = {QColor(255, 59, 48), QColor(0, 122, 255), QColor(52, 199, 89), QColor(255, 204, 0)};
    QList<VeskMarkupElement> elements;
    for (int i = 0; i < count; ++i) {
        const VeskMarkupTool kind = kAllMarkupTools[i % kAllMarkupTools.size()];
        VeskMarkupElement element = makeMarkupElement(kind, colours[i % 4], 2 + i % 8);
        const QPointF start(random.bounded(0.8), random.bounded(0.8));
        const QPointF end = start + QPointF(random.bounded(0.2), random.bounded(0.2));
        switch (kind) {
        case VeskMarkupTool::Freehand:
        case VeskMarkupTool::Highlighter:
            for (int p = 0; p < 40; ++p)
                element.points.append(start + QPointF(p * 0.004, 0.02 * std::sin(p * 0.4)));
            break;
        case VeskMarkupTool::Text:
            element.start = start;
            element.text = QStringLiteral("Note %1").arg(i);
            break;
        default:
            element.start = start;
            element.end = end;
            break;
        }
        elements.append(element);
    }
    return elements;
}

} // namespace vesk::bench
