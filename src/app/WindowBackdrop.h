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
// repaints small parts of itself many times a second while it imports, animates or shows the
// results of each key typed; on a busy computer every such wait could last a time slice. So the
// backdrop is painted once per size, appearance and pixel ratio into two pictures, at rest and
// with the search's full glow, and each repaint only copies the rectangles it needs; a glow on
// its way between the two is mixed from them, not painted afresh.
class WindowBackdrop {
public:
    // Paints the backdrop of a window of size within region, with the glow of the search
    // (0 to 1), painting the pictures again first when the size, the pixel ratio or the colours
    // changed.
    void paint(QPainter& painter, const QRegion& region, QSize size, qreal glow);

    // Paints now the pictures a paint of a window of size at ratio has not needed yet (the
    // glowing one until a search starts): painted at the first key, it held up that key's frame.
    void prepare(QSize size, qreal ratio);
    // Whether the pictures for the last paint's size, ratio and colours are painted.
    bool isPrepared() const { return !m_rest.isNull() && !m_glowing.isNull() && !m_mixed.isNull(); }

    // Paints the whole backdrop afresh into all: what the kept pictures hold.
    static void paintFresh(QPainter& painter, const QRectF& all, qreal glow, const Theme& theme);

    // The glow the backdrop shows for glow: in twelfths. The glows differ by at most ten levels
    // of a colour channel, so finer steps look the same and would only repaint the window.
    static qreal shownGlow(qreal glow);
    // The part of a window of size whose backdrop the glow changes: the squares around the two
    // glowing corners.
    static QRegion glowRegion(QSize size);

    // The picture copied from by the last paint, null before the first.
    const QImage& picture() const;

private:
    using Colours = std::array<QRgb, 5>;
    static Colours coloursOf(const Theme& theme, qreal glow);
    // Lets go of the pictures when the size, the ratio or the colours changed.
    void follow(QSize pixels, qreal ratio, const Theme& theme);
    // Mixes the two pictures for glow into m_mixed, within region only (m_mixed holds nothing
    // outside the glow's region, where the picture at rest is copied).
    void mix(const QRegion& region, qreal glow);

    QImage m_rest;
    QImage m_glowing;
    QImage m_mixed;
    // What m_mixed holds: the glow, and where it was mixed at that glow.
    qreal m_mixedGlow = -1;
    QRegion m_mixedRegion;
    qreal m_lastGlow = 0;
    // What the pictures are painted for: the window's size in pixels, the pixel ratio, and the
    // colours at rest and glowing.
    QSize m_pixels;
    qreal m_ratio = 0;
    std::array<Colours, 2> m_colours{};
};

} // namespace vesk
