#pragma once

#include <QColor>
#include <QImage>
#include <QPen>
#include <QRectF>

class QPainter;
class QPainterPath;

namespace vesk {

// The parts of a card's rendered body that are the same for every card of one size and look:
// the filled rounded background, the cut-out corners and the border. They are rasterised once
// per size and look, on whichever thread asks first, and then applied to each new body as a
// copy and two short lists of pixels, instead of scan-converting three antialiased curves for
// every card a new search result shows.
struct CardBodyLayerLook {
    QSize pixels;      // the body image, margins included (only for a rendered layer)
    qreal ratio = 1.0; // its device pixel ratio (only for a rendered layer)
    QRectF card;       // the card's rectangle in the image's logical coordinates
    double cornerRadius = 0;
    QColor fill;
    QColor accentTint; // transparent when none
    QColor hoverTint;  // transparent when none
    QColor border;
    double borderWidth = 0;
};

class CardBodyLayer {
public:
    // The card's background and its border as the layer draws them, for a card painted straight
    // through a pose instead: the two must not drift apart.
    static void paintBackground(QPainter& painter, const QPainterPath& shape, const CardBodyLayerLook& look);
    static QPen borderPen(const CardBodyLayerLook& look);

    // A transparent image of the body's size holding the filled background (with its tints),
    // ready to paint the card's media and details on. Safe from any thread.
    static QImage canvas(const CardBodyLayerLook& look);
    // Cuts what lies outside the rounded outline away and draws the border over it, as
    // destination-out and source-over of the antialiased shapes would. Safe from any thread.
    static void finishEdges(QImage& body, const CardBodyLayerLook& look);
};

} // namespace vesk
