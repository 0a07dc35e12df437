#pragma once

#include <QHash>
#include <QImage>
#include <QRegion>
#include <QSize>

#include <functional>

class QPainter;

namespace vesk {

// The cards of the grid in view, painted into a picture of their own and copied from it onto the
// window's backdrop. The window repaints the grid whenever anything behind it changes: each step
// of the search's glow and of the backdrop fading in paints every card again, dozens of pictures
// blended on the window's thread, though no card changed. Kept here, the cards are copied in one
// go. Where cards did change, they are drawn into the picture in bands on the painting pool while
// the window's thread waits once, instead of blending each picture itself or waiting for Qt's pool
// to blend each one in pieces. Cards are drawn in their order over a clear picture, which then
// lies over the backdrop: each pixel ends within a level or two of the cards drawn on the backdrop
// directly.
class GridCardLayer {
public:
    struct Card {
        // The card's place in the grid's list.
        qsizetype index = 0;
        // Where the card paints, in the painter's coordinates.
        QRect reach;
        // Tells what the card looks like: equal for a card drawn as before.
        size_t signature = 0;
        // Draws the card; called on any thread, with the window's thread waiting.
        std::function<void(QPainter&)> draw;
    };

    // Paints cards (in painting order, every card that reaches into exposed) within exposed
    // through the picture, for a painter of size and ratio with no transform of its own. Only
    // what changed since the picture was last brought up to date is drawn again.
    void paint(QPainter& painter, const QRegion& exposed, QSize size, qreal ratio, const QList<Card>& cards);

    // Lets go of the picture (the appearance changed).
    void clear();
    // Where the picture holds the cards as they were last painted (for tests).
    const QRegion& validRegion() const { return m_valid; }

private:
    // Clears stale and draws there every card that reaches into it.
    void redraw(const QRegion& stale, const QList<Card>& cards);

    QImage m_image;
    QSize m_size;
    qreal m_ratio = 0;
    QRegion m_valid;
    struct Drawn {
        QRect reach;
        size_t signature = 0;
    };
    // What the picture holds, by the card's place in the grid's list.
    QHash<qsizetype, Drawn> m_drawn;
};

} // namespace vesk
