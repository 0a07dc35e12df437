#pragma once
// Painting helpers of the UI kit (src/platform/ui/, see Theme.h): continuous-corner rounded
// rectangles, soft shadows, translucent "material" and "glass" fills, dashed outlines, gradients.
//
// Use, inside a paintEvent:
//   QPainter p(this);
//   p.setRenderHint(QPainter::Antialiasing);
//   const QPainterPath card = vesk::Painting::roundedRect(rect, 18);
//   vesk::Painting::drawSoftShadow(p, card, vesk::Theme::black(0.08), 8, {0, 2});
//   vesk::Painting::fillMaterial(p, card, vesk::MaterialThickness::Thin);

#include "platform/ui/Theme.h"

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QVector>

#include <functional>

class QPainter;
class QImage;
class QRect;
class QString;

namespace vesk::Painting {

// A rounded rectangle. Continuous corners ease into the straight edges (no visible kink where
// the arc meets the side), as the design's rounded shapes do; the radius is clamped to the rect.
QPainterPath roundedRect(const QRectF& rect, qreal radius, bool continuousCorners = true);
QPainterPath capsule(const QRectF& rect);

// A blurred copy of the path's silhouette drawn under it: colour, blur radius, offset (points).
// Results are cached by shape, so repainting the same card is cheap.
void drawSoftShadow(QPainter& painter, const QPainterPath& path, const QColor& color, qreal radius,
                    QPointF offset = {});

// Fills the path with the appearance's translucent material and a hairline edge.
void fillMaterial(QPainter& painter, const QPainterPath& path, MaterialThickness thickness,
                  const Theme& theme = Theme::current());
// The "glass" look of capsules and glass buttons: a regular material, a top sheen and a hairline.
void fillGlass(QPainter& painter, const QPainterPath& path, const Theme& theme = Theme::current());

// Strokes the path with a dash pattern given in points (on, off, on, off...).
void strokeDashed(QPainter& painter, const QPainterPath& path, const QColor& color, qreal lineWidth,
                  const QVector<qreal>& dashPattern, qreal dashPhase = 0.0);
// Strokes the path solid.
void stroke(QPainter& painter, const QPainterPath& path, const QColor& color, qreal lineWidth);

// Paints what paint would paint over rect, from pieces of a small rendering of it cached under
// key: the corners as they are, the edges stretched from its middle row and column, and the
// middle filled with `middle`, the colour paint leaves there (nothing when transparent). For
// shapes that change only within `corner` points of their corners (rounded frames and their
// fills): a tall box then costs a few small blits instead of rasterising its whole outline. A
// dimension shorter than two corners is rendered whole. Painters that are not on whole device
// pixels (a fractional scale, a rotation) get paint itself.
void drawCornered(QPainter& painter, const QRect& rect, int corner, const QColor& middle, const QString& key,
                  const std::function<void(QPainter&, const QRectF&)>& paint);
// Paints what paint would paint over rect (and a pixel around it) from a rendering cached under
// key, made for rect's offset within a pixel: for small shapes and symbols that a list paints
// alike in every row. Painters that are not on whole device pixels get paint itself.
void drawCached(QPainter& painter, const QRectF& rect, const QString& key,
                const std::function<void(QPainter&, const QRectF&)>& paint);
// Does what draw does to the painter, a band of rows of bounds (in the painter's coordinates) at
// a time: for pictures drawn scaled, whose every row the raster engine fills apart. Qt splits a
// tall fill over its global pool and waits for it; a band is short enough to be filled on the
// calling thread. Painters that only move, rotate or project get draw itself, once.
void drawInRowBands(QPainter& painter, const QRectF& bounds, const std::function<void(QPainter&)>& draw);
// Fills rect with colour a band of rows at a time, for the same reason: a see-through fill of a
// tall box would otherwise be split over Qt's global pool and waited for, at every paint.
void fillInRowBands(QPainter& painter, const QRect& rect, const QColor& colour);
// The corner to give drawCornered for a roundedRect of radius inset by `inset` and outlined
// with a line of lineWidth.
int roundedRectCorner(qreal radius, qreal inset, qreal lineWidth);
// A roundedRect of radius inset by `inset`, filled and outlined with a line of lineWidth, through
// drawCornered; a transparent fill or outline is left out. `name` tells the shape's cache entries
// from those of other boxes.
void drawFramedBox(QPainter& painter, const QRect& rect, qreal radius, qreal inset, qreal lineWidth,
                   const QColor& fill, const QColor& outline, const QString& name);

// Fills rect with a vertical linear gradient (top to bottom) or from one point to another.
void fillLinearGradient(QPainter& painter, const QRectF& rect, const QColor& from, const QColor& to,
                        Qt::Orientation orientation = Qt::Vertical);
// Fills rect with a radial gradient centred at `centre`, colour `from` inside startRadius fading
// to `to` at endRadius.
void fillRadialGradient(QPainter& painter, const QRectF& rect, QPointF centre, qreal startRadius,
                        qreal endRadius, const QColor& from, const QColor& to);

// Blurs an ARGB32-premultiplied image in place (three box passes approximate a Gaussian).
void blurImage(QImage& image, qreal radius);

} // namespace vesk::Painting
