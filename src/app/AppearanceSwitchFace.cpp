#include "app/AppearanceSwitchFace.h"

#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QtMath>

namespace vesk {

namespace {

QColor white(qreal opacity) { return Theme::white(opacity); }
QColor black(qreal opacity) { return Theme::black(opacity); }
QColor rgb(qreal r, qreal g, qreal b) { return Theme::rgb(r, g, b); }

QLinearGradient diagonal(const QRectF& rect, std::initializer_list<std::pair<qreal, QColor>> stops)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    for (const auto& [at, color] : stops)
        gradient.setColorAt(at, color);
    return gradient;
}

// Colours spread evenly from 0 to 1.
QGradientStops even(std::initializer_list<QColor> colors)
{
    QGradientStops stops;
    const qsizetype count = qsizetype(colors.size());
    qsizetype index = 0;
    for (const QColor& color : colors)
        stops.append({count > 1 ? qreal(index++) / qreal(count - 1) : 0.0, color});
    return stops;
}

QRadialGradient radial(QPointF centre, qreal endRadius, std::initializer_list<QColor> colors, qreal startRadius = 0)
{
    QRadialGradient gradient(centre, endRadius);
    QGradientStops stops = even(colors);
    if (startRadius > 0 && endRadius > 0) {
        const qreal start = startRadius / endRadius;
        for (auto& stop : stops)
            stop.first = start + stop.first * (1.0 - start);
        stops.prepend({0.0, stops.first().second});
    }
    gradient.setStops(stops);
    return gradient;
}

QRectF centredRect(QPointF centre, qreal width, qreal height)
{
    return QRectF(centre.x() - width / 2, centre.y() - height / 2, width, height);
}

void strokePath(QPainter& painter, const QPainterPath& path, const QBrush& brush, qreal width)
{
    QPen pen(brush, width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.strokePath(path, pen);
}

QFont monospaced(qreal points, QFont::Weight weight, qreal tracking)
{
    return monospacedFont(points, weight, tracking);
}

void paintPlate(QPainter& painter, const QRectF& face)
{
    const QPainterPath plate = Painting::roundedRect(face, 8);
    Painting::drawSoftShadow(painter, plate, black(0.6), 6, {0, 3});
    Painting::drawSoftShadow(painter, plate, white(0.025), 1, {-1, -1});
    painter.fillPath(plate, diagonal(face, {{0.0, rgb(0.105, 0.11, 0.12)},
                                            {0.52, rgb(0.045, 0.048, 0.054)},
                                            {1.0, rgb(0.018, 0.02, 0.024)}}));
    QLinearGradient bevel(face.topLeft(), face.bottomRight());
    bevel.setStops(even({white(0.21), white(0.055), black(0.74)}));
    strokePath(painter, plate, bevel, 1.0);
    strokePath(painter, Painting::roundedRect(face.adjusted(4, 4, -4, -4), 5.5), black(0.78), 1.1);
    strokePath(painter, Painting::roundedRect(face.adjusted(7, 7, -7, -7), 4), white(0.045), 0.65);
    painter.fillRect(QRectF(face.left() + 8, face.top() + 5, face.width() - 16, 1), white(0.075));
    painter.fillRect(QRectF(face.left() + 8, face.bottom() - 6, face.width() - 16, 1), black(0.78));
}

void paintTexture(QPainter& painter, const QRectF& face)
{
    // Sixteen hairlines, spaced 4.3 apart, centred on the face.
    const qreal step = 0.45 + 4.3;
    const qreal columnHeight = 16 * 0.45 + 15 * 4.3;
    const qreal top = face.center().y() - columnHeight / 2;
    for (int line = 0; line < 16; ++line) {
        const QRectF hair(face.center().x() - 27.5, top + line * step, 55, 0.45);
        painter.fillRect(hair, line % 3 == 0 ? white(0.026) : black(0.07));
    }
    const QRectF sheenRect = face.adjusted(2, 2, -2, -2);
    QLinearGradient sheen(sheenRect.topLeft(), sheenRect.bottomRight());
    sheen.setStops(even({Qt::transparent, white(0.028), Qt::transparent, black(0.045), Qt::transparent}));
    painter.fillPath(Painting::roundedRect(sheenRect, 7), sheen);
}

void drawEngraved(QPainter& painter, QPointF centre, const QString& text, const QFont& font, const QColor& color,
                  bool shadow)
{
    painter.setFont(font);
    const QRectF box = centredRect(centre, 80, 16);
    if (shadow) {
        painter.setPen(black(0.92));
        painter.drawText(box.translated(0, 1), Qt::AlignCenter, text);
    }
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter, text);
}

void paintLegends(QPainter& painter, const QRectF& face)
{
    const QPointF c = face.center();
    drawEngraved(painter, c + QPointF(0, -31), QStringLiteral("MODE"), monospaced(8.2, QFont::Black, 1.45),
                 white(0.38), true);
    // The placard: two leading-aligned lines centred together at (-15, 25).
    painter.setPen(white(0.27));
    const QFont top = monospaced(5.4, QFont::Bold, 0.9);
    const QFont bottom = monospaced(4.7, QFont::Medium, 0.65);
    const QRectF placard = centredRect(c + QPointF(-15, 25), 26, 12);
    painter.setFont(top);
    painter.drawText(QRectF(placard.left(), placard.top(), placard.width(), 6), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("VESK"));
    painter.setFont(bottom);
    painter.drawText(QRectF(placard.left(), placard.top() + 7.5, placard.width(), 5),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("AP-03"));
}

void paintTicksAndHazards(QPainter& painter, const QRectF& face)
{
    const QPointF c = face.center();
    for (const qreal dy : {-16.0, 16.0}) {
        const QPointF mark = c + QPointF(17, dy);
        painter.fillRect(QRectF(mark.x() - 6, mark.y() - 0.5, 8, 1), white(0.25));
        painter.fillRect(QRectF(mark.x() + 4, mark.y() - 0.5, 2, 1), white(0.25));
    }
    const QColor amber = Theme::withOpacity(rgb(0.93, 0.52, 0.12), 0.34);
    const qreal rowWidth = 5 * 3 + 4 * 2;
    for (int index = 0; index < 5; ++index) {
        const QPointF centre = c + QPointF(-rowWidth / 2 + 1.5 + index * 5, 34);
        painter.save();
        painter.translate(centre);
        painter.rotate(-28);
        painter.fillRect(QRectF(-1.5, -0.75, 3, 1.5), amber);
        painter.restore();
    }
}

void paintScrew(QPainter& painter, QPointF centre, qreal angleDegrees)
{
    const QRectF frame = centredRect(centre, 8.5, 8.5);
    QPainterPath head;
    head.addEllipse(frame);
    Painting::drawSoftShadow(painter, head, black(0.54), 1.2, {0.7, 1});
    painter.fillPath(head, radial(frame.topLeft(), 5, {white(0.42), rgb(0.25, 0.26, 0.28), black(0.88)}, 0.4));
    strokePath(painter, head, black(0.72), 0.65);
    painter.save();
    painter.translate(centre);
    painter.rotate(angleDegrees);
    painter.fillPath(Painting::capsule(QRectF(-2.5, -0.475, 5, 0.95)), black(0.9));
    painter.restore();
}

void paintLever(QPainter& painter, const QRectF& face, const AppearanceSwitchFaceState& state)
{
    const QPointF c = face.center();
    QPainterPath well;
    well.addEllipse(centredRect(c, 37, 37));
    strokePath(painter, well, black(0.68), 1.2);
    QPainterPath outer;
    outer.addEllipse(centredRect(c, 41, 41));
    strokePath(painter, outer, white(0.035), 0.7);

    const QRectF nutRect = centredRect(c, 31, 27);
    const QPainterPath nut = aircraftHexNutPath(nutRect);
    Painting::drawSoftShadow(painter, nut, black(0.62), 2.5, {1, 2});
    painter.fillPath(nut, diagonal(nutRect, {{0.0, white(0.64)},
                                             {0.26, rgb(0.39, 0.41, 0.44)},
                                             {0.72, rgb(0.16, 0.17, 0.19)},
                                             {1.0, white(0.25)}}));
    strokePath(painter, nut, white(0.13), 0.75);

    const QRectF bossRect = centredRect(c, 19, 19);
    QPainterPath boss;
    boss.addEllipse(bossRect);
    painter.fillPath(boss, radial(bossRect.topLeft(), 11, {rgb(0.4, 0.42, 0.45), rgb(0.18, 0.19, 0.21), black(0.92)}));
    strokePath(painter, boss, white(0.12), 0.7);

    const qreal length = kSwitchLeverShaftLength;
    const qreal s = state.leverOffset;
    const QRectF shaftRect = centredRect(c + QPointF(0, s * length / 2), 7.5, length);
    const QPainterPath shaft = Painting::capsule(shaftRect);
    Painting::drawSoftShadow(painter, shaft, black(0.52), 1.8, {1, 2});
    QLinearGradient shaftFill(shaftRect.topLeft(), shaftRect.topRight());
    shaftFill.setStops(even({white(0.78), rgb(0.49, 0.51, 0.55), rgb(0.22, 0.23, 0.26), white(0.35)}));
    painter.fillPath(shaft, shaftFill);
    strokePath(painter, shaft, black(0.52), 0.65);

    const QColor blue = state.tipColor;
    const QRectF tipRect = centredRect(c + QPointF(0, s * (length + 1.5)), 7.5, 7.5);
    QPainterPath tip;
    tip.addEllipse(tipRect);
    Painting::drawSoftShadow(painter, tip, Theme::withOpacity(blue, 0.08), 7);
    Painting::drawSoftShadow(painter, tip, Theme::withOpacity(blue, state.dragging ? 0.34 : 0.22),
                             state.dragging ? 4.2 : 3.1);
    painter.fillPath(tip, radial(tipRect.center(), 4.2,
                                 {white(0.92), Theme::withOpacity(blue, 0.96), Theme::withOpacity(blue, 0.66)}));
    strokePath(painter, tip, white(0.26), 0.55);

    const QRectF pinRect = centredRect(c, 9, 9);
    QPainterPath pin;
    pin.addEllipse(pinRect);
    Painting::drawSoftShadow(painter, pin, black(0.4), 1, {0, 1});
    painter.fillPath(pin, radial(pinRect.topLeft(), 7, {white(0.48), rgb(0.3, 0.31, 0.34), black(0.72)}));
}

} // namespace

QFont monospacedFont(qreal points, QFont::Weight weight, qreal tracking)
{
    QFont font = Theme::font(points, weight);
    font.setFamily(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

QPainterPath aircraftHexNutPath(const QRectF& rect)
{
    const qreal inset = rect.width() * 0.22;
    const qreal midY = rect.center().y();
    QPainterPath path;
    path.moveTo(rect.left() + inset, rect.top());
    path.lineTo(rect.right() - inset, rect.top());
    path.lineTo(rect.right(), midY);
    path.lineTo(rect.right() - inset, rect.bottom());
    path.lineTo(rect.left() + inset, rect.bottom());
    path.lineTo(rect.left(), midY);
    path.closeSubpath();
    return path;
}

void paintAppearanceSwitchFace(QPainter& painter, const QRectF& face, const AppearanceSwitchFaceState& state)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paintPlate(painter, face);
    paintTexture(painter, face);
    paintLegends(painter, face);
    paintTicksAndHazards(painter, face);
    const QPointF c = face.center();
    paintScrew(painter, c + QPointF(-27, -39), -18);
    paintScrew(painter, c + QPointF(27, -39), 21);
    paintScrew(painter, c + QPointF(-27, 39), 12);
    paintScrew(painter, c + QPointF(27, 39), -27);
    paintLever(painter, face, state);
    painter.restore();
}

} // namespace vesk
