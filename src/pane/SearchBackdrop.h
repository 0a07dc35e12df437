#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QRgb>
#include <QSize>

#include <array>

class QPainter;

namespace vesk {

class Theme;

// The soft backdrop behind the split while a search runs: a diagonal wash and a glow in the
// top-leading corner that the grid's surface pulse brightens. Every key typed pulses it, and the
// cards painted over it paint it again beneath them: gradients filled afresh at each of those
// paints cost the window's thread most of a frame. So the wash is painted once per size,
// appearance and pixel ratio, the glow once at one strength, and a paint blends them a rectangle at
// a time.
class SearchBackdrop {
public:
    // Paints the backdrop of an area of size within region at opacity, with the glow's
    // strength (the accent colour's opacity at its centre).
    void paint(QPainter& painter, const QRegion& region, QSize size, qreal opacity, qreal glow);
    // Paints now the pictures the first search's frames would paint for a layout of size: their
    // fresh memory, faulted in page by page, held up the first key by milliseconds.
    void prepare(QSize size, qreal ratio);
    // Paints it afresh, as the kept pictures hold it.
    static void paintFresh(QPainter& painter, QSize size, qreal opacity, qreal glow, const Theme& theme);

    // The part of an area of size that the glow changes.
    static QRect glowSquare(QSize size);
    // Whether two strengths of the glow, or two opacities, paint the same pixels: the colours and
    // the opacity are drawn in whole steps of a byte.
    static bool sameGlow(qreal a, qreal b, const Theme& theme);
    static bool sameOpacity(qreal a, qreal b);

    // The glow's kept picture, null before the first paint.
    const QImage& glowPicture() const { return m_glow; }

private:
    // The pictures for size, ratio and the current theme at glow, painted where missing.
    void makePictures(QSize size, qreal ratio, qreal glow);
    using Colours = std::array<QRgb, 3>;
    static Colours coloursOf(const Theme& theme);

    QImage m_wash;
    QImage m_glow;
    // The colour the glow's picture was painted in.
    QRgb m_glowColour = 0;
    QSize m_pixels;
    qreal m_ratio = 0;
    Colours m_colours{};
};

} // namespace vesk
