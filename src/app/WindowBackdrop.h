#pragma once

#include <QColor>
#include <QImage>
#include <QRegion>
#include <QSize>

#include <array>

class QPainter;
class QRectF;

namespace vesk {

class Theme;

// The main window's backdrop: the window colour washing into the under-page colour, two soft
// glows in opposite corners, and the header's shadow and divider. Qt's raster engine fills each
// gradient of a tall area in pieces on its global thread pool and waits for them, and the window
// repaints small parts of itself many times a second while it imports or animates; on a busy
// computer every such wait could last a time slice. So the backdrop is painted once per size,
// appearance and glow into a picture, and each repaint only copies the rectangles it needs.
class WindowBackdrop {
public:
    // Paints the backdrop of a window of size within region, with the glow of the search
    // (0 to 1), painting the picture again first when any of those or the colours changed.
    void paint(QPainter& painter, const QRegion& region, QSize size, qreal glow);

    // Paints the whole backdrop afresh into all: what the kept picture holds.
    static void paintFresh(QPainter& painter, const QRectF& all, qreal glow, const Theme& theme);

    // The picture kept from the last paint, null before the first.
    const QImage& picture() const { return m_picture; }

private:
    using Colours = std::array<QRgb, 5>;
    static Colours coloursOf(const Theme& theme, qreal glow);

    QImage m_picture;
    qreal m_glow = -1;
    Colours m_colours{};
};

} // namespace vesk
