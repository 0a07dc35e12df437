// The picture the grid keeps its cards in: what it copies onto the backdrop is what drawing the
// cards there directly gives, and only cards that changed are drawn again.
#include "grid/GridCardLayer.h"

#include "common/TestPictures.h"

#include <QImage>
#include <QLinearGradient>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <gtest/gtest.h>

namespace vesk {
namespace {

constexpr QSize kView(420, 330);

// A translucent card with a soft edge, drawn slightly scaled as a moving card is.
struct TestCard {
    qsizetype index;
    QRect frame;
    QColor colour;
    double scale = 1.0;
};

void drawCard(QPainter& painter, const TestCard& card)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(card.frame).center();
    painter.translate(centre);
    painter.scale(card.scale, card.scale);
    painter.translate(-centre);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(card.frame), 14, 14);
    painter.fillPath(shape.translated(0, 6), QColor(0, 0, 0, 40));
    painter.setOpacity(0.78);
    painter.fillPath(shape, card.colour);
    painter.restore();
}

void paintBackdrop(QImage& image)
{
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, kView.width(), kView.height());
    gradient.setColorAt(0, QColor(250, 246, 240));
    gradient.setColorAt(1, QColor(120, 160, 220));
    painter.fillRect(QRect(QPoint(0, 0), kView), gradient);
}

QImage directly(const QList<TestCard>& cards)
{
    QImage image(kView, QImage::Format_RGB32);
    paintBackdrop(image);
    QPainter painter(&image);
    for (const TestCard& card : cards)
        drawCard(painter, card);
    return image;
}

class GridCardLayerTest : public ::testing::Test {
protected:
    // Paints cards through the layer over a fresh backdrop, within exposed (all of the view
    // when none), and counts the cards drawn.
    QImage throughLayer(const QList<TestCard>& cards, const QRegion& exposed = QRegion(QRect(QPoint(0, 0), kView)))
    {
        QList<GridCardLayer::Card> layerCards;
        for (const TestCard& card : cards) {
            if (!exposed.intersects(card.frame.adjusted(-10, -10, 10, 16)))
                continue;
            layerCards.append({card.index, card.frame.adjusted(-10, -10, 10, 16),
                               qHashMulti(0, card.frame, card.colour.rgba(), card.scale), [this, card](QPainter& p) {
                                   {
                                       const QMutexLocker lock(&drawnMutex);
                                       drawn.insert(card.index);
                                   }
                                   drawCard(p, card);
                               }});
        }
        QImage image(kView, QImage::Format_RGB32);
        paintBackdrop(image);
        QPainter painter(&image);
        painter.setClipRegion(exposed);
        layer.paint(painter, exposed, kView, 1.0, layerCards);
        return image;
    }

    GridCardLayer layer;
    // The cards drawn (the layer's bands draw on several threads).
    QMutex drawnMutex;
    QSet<qsizetype> drawn;
};

TEST_F(GridCardLayerTest, CopiesWhatTheCardsDrawnDirectlyGiveAndDrawsOnlyWhatChanged)
{
    QList<TestCard> cards;
    for (int i = 0; i < 8; ++i)
        cards.append({i, QRect(16 + (i % 4) * 100, 14 + (i / 4) * 150, 90, 130), QColor::fromHsv(i * 40, 90, 250), 0.994});
    struct Step {
        const char* what;
        std::function<void(QList<TestCard>&)> change;
        int drawnAtMost;
    };
    const Step steps[] = {
        {"first paint", [](QList<TestCard>&) {}, 8},
        {"nothing changed", [](QList<TestCard>&) {}, 0},
        // With the cards that reach into its place: those above it and beside it.
        {"one card moves on", [](QList<TestCard>& c) { c[5].scale = 0.992; }, 6},
        {"another list: every card changes", [](QList<TestCard>& c) {
             for (TestCard& card : c)
                 card.colour = card.colour.darker(130);
         }, 8},
        {"the list gets shorter", [](QList<TestCard>& c) { c.resize(3); }, 3},
    };
    for (const Step& step : steps) {
        step.change(cards);
        drawn.clear();
        const QImage shown = throughLayer(cards);
        EXPECT_LE(drawn.size(), step.drawnAtMost) << step.what;
        EXPECT_LE(test::largestChannelDifference(shown, directly(cards)), 2) << step.what;
    }
}

TEST_F(GridCardLayerTest, APaintOfPartOfTheViewLeavesTheRestToBeDrawnWhenItIsPainted)
{
    QList<TestCard> cards{{0, QRect(20, 20, 120, 200), Qt::white}, {1, QRect(220, 20, 120, 200), Qt::yellow}};
    (void)throughLayer(cards);
    // The second card changes while only the first's side of the view is painted: its side of
    // the picture is stale, and a later paint of the whole view draws it again.
    cards[1].colour = Qt::cyan;
    (void)throughLayer(cards, QRegion(0, 0, 180, kView.height()));
    drawn.clear();
    const QImage whole = throughLayer(cards);
    EXPECT_EQ(drawn, QSet<qsizetype>{1});
    EXPECT_LE(test::largestChannelDifference(whole, directly(cards)), 2);
}

// The raster engine splits a fill of 96 spans or more (one for each row of each rectangle of the
// clip) over Qt's pool and waits: a band's thread must not hand its cards on so. Two cards that
// changed apart from each other, on a view of ordinary and of double density.
TEST_F(GridCardLayerTest, EachCardIsDrawnWithinOneRectangleOfFewerThan96DeviceRows)
{
    for (const qreal ratio : {1.0, 2.0}) {
        GridCardLayer cardLayer;
        QList<TestCard> cards;
        for (int i = 0; i < 4; ++i)
            cards.append({i, QRect(16 + i * 100, 14, 90, 260), QColor::fromHsv(i * 40, 90, 250)});
        QMutex mutex;
        int draws = 0;
        QStringList clips;
        const auto paintThroughLayer = [&] {
            QList<GridCardLayer::Card> layerCards;
            for (const TestCard& card : cards) {
                layerCards.append({card.index, card.frame.adjusted(-10, -10, 10, 16),
                                   qHashMulti(0, card.frame, card.colour.rgba()), [&, card](QPainter& p) {
                                       const QRegion clip = p.clipRegion();
                                       const QMutexLocker lock(&mutex);
                                       ++draws;
                                       if (clip.rectCount() != 1 || clip.boundingRect().height() * ratio >= 96)
                                           clips.append(QStringLiteral("%1 rectangles, %2 rows").arg(clip.rectCount())
                                                            .arg(clip.boundingRect().height() * ratio));
                                       drawCard(p, card);
                                   }});
            }
            QImage image(kView * ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::white);
            QPainter painter(&image);
            cardLayer.paint(painter, QRect(QPoint(0, 0), kView), kView, ratio, layerCards);
        };
        paintThroughLayer();
        // Two cards apart change: the stale region has two rectangles side by side in every row.
        cards[0].colour = Qt::cyan;
        cards[2].colour = Qt::magenta;
        draws = 0;
        paintThroughLayer();
        EXPECT_GT(draws, 0) << ratio;
        EXPECT_TRUE(clips.isEmpty()) << ratio << " " << clips.join(QStringLiteral(", ")).toStdString();
    }
}

} // namespace
} // namespace vesk
