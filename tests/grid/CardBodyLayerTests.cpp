#include "grid/CardBodyLayer.h"
#include "platform/ui/Painting.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtConcurrent/QtConcurrentMap>
#include <gtest/gtest.h>

namespace vesk {
namespace {

CardBodyLayerLook lookAt(qreal ratio, bool tinted, double borderWidth)
{
    CardBodyLayerLook look;
    const QSizeF size(200.5, 219);
    look.pixels = QSize(int(std::ceil((size.width() + 4) * ratio)), int(std::ceil((size.height() + 4) * ratio)));
    look.ratio = ratio;
    look.card = QRectF(QPointF(2, 2), size);
    look.cornerRadius = 14;
    look.fill = QColor(250, 250, 252, 235);
    look.accentTint = tinted ? QColor(40, 120, 255, 30) : QColor(Qt::transparent);
    look.hoverTint = tinted ? QColor(0, 0, 0, 12) : QColor(Qt::transparent);
    look.border = QColor(20, 20, 30, 40);
    look.borderWidth = borderWidth;
    return look;
}

// What a card paints inside its rectangle, right up to its square corners: the cut must take it
// away there, as it takes the background away.
void paintContent(QPainter& painter, const QRectF& card)
{
    QLinearGradient gradient(card.topLeft(), card.bottomRight());
    gradient.setColorAt(0, QColor(200, 30, 30));
    gradient.setColorAt(1, QColor(30, 30, 200, 160));
    painter.fillRect(QRectF(card.left(), card.top(), card.width(), 60), gradient);
    painter.fillRect(QRectF(card.left(), card.bottom() - 30, card.width(), 30), QColor(10, 160, 10, 200));
}

QImage drawnDirectly(const CardBodyLayerLook& look)
{
    QImage image(look.pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(look.ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Painting::roundedRect(look.card, look.cornerRadius);
    painter.fillPath(shape, look.fill);
    for (const QColor& tint : {look.accentTint, look.hoverTint}) {
        if (tint.alpha() > 0)
            painter.fillPath(shape, tint);
    }
    painter.save();
    painter.setClipRect(look.card);
    paintContent(painter, look.card);
    painter.restore();
    QPainterPath outside;
    outside.setFillRule(Qt::OddEvenFill);
    outside.addRect(look.card.adjusted(-1, -1, 1, 1));
    outside.addPath(shape);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.fillPath(outside, Qt::black);
    painter.restore();
    QPen pen(look.border, look.borderWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.strokePath(shape, pen);
    return image;
}

QImage throughLayer(const CardBodyLayerLook& look)
{
    QImage image = CardBodyLayer::canvas(look);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipRect(look.card);
        paintContent(painter, look.card);
    }
    CardBodyLayer::finishEdges(image, look);
    return image;
}

int largestDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* left = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* right = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (int shift : {0, 8, 16, 24})
                largest = std::max(largest, std::abs(int((left[x] >> shift) & 0xff) - int((right[x] >> shift) & 0xff)));
        }
    }
    return largest;
}

// The shared background, corner cut and border give the pixels the three antialiased shapes
// give when drawn for each card, at every pixel ratio a card rests at, and leave the canvas
// they were cut from untouched for the next card.
TEST(CardBodyLayer, EdgesAreThoseOfTheShapesDrawnForEachCard)
{
    for (const qreal ratio : {1.0, 0.992, 1.036, 2.0}) {
        for (const bool tinted : {false, true}) {
            for (const double border : {0.0, 1.4}) {
                const CardBodyLayerLook look = lookAt(ratio, tinted, border);
                const QImage expected = drawnDirectly(look);
                const QImage first = throughLayer(look);
                ASSERT_EQ(first.size(), expected.size());
                EXPECT_LE(largestDifference(first, expected), 2) << ratio << " " << tinted << " " << border;
                EXPECT_EQ(throughLayer(look), first) << "a second body of the same look";
                // The corners are cut through the content too, and the middle keeps it.
                EXPECT_EQ(qAlpha(first.pixel(int(3 * ratio), int(3 * ratio))), 0);
                EXPECT_EQ(first.pixel(first.width() / 2, int(10 * ratio)), expected.pixel(first.width() / 2, int(10 * ratio)));
            }
        }
    }
}

// Cards rendered on several threads at once ask for a look nobody has asked for yet.
TEST(CardBodyLayer, ManyThreadsAskingForANewLookAtOnceGetTheSameBody)
{
    const CardBodyLayerLook look = lookAt(1.25, true, 0.8);
    QList<int> runs(32);
    const QList<QImage> bodies = QtConcurrent::blockingMapped(runs, [&](int) { return throughLayer(look); });
    for (const QImage& body : bodies)
        EXPECT_EQ(body, bodies.first());
    EXPECT_LE(largestDifference(bodies.first(), drawnDirectly(look)), 2);
}

} // namespace
} // namespace vesk
