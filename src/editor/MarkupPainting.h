#pragma once

#include "editor/VeskMarkupElement.h"

#include <QFont>
#include <QList>
#include <QRect>
#include <QSizeF>

class QImage;
class QPainter;

namespace vesk {

// The sizes an element is drawn at. On the canvas widths are the element's points; stamped into
// the saved picture they are scaled to its size (900 pixels on the longer side is scale 1) and
// held to larger minimums, so thin marks stay visible on big photos.
struct MarkupMetrics {
    double scale = 1;
    double minimumStroke = 0;
    double minimumHeadLength = 12;
    double minimumHeadHalfWidth = 8;
    double minimumHighlighterWidth = 12;
    double minimumTextSize = 14;

    static MarkupMetrics onCanvas();
    // For a picture of width × height pixels.
    static MarkupMetrics flattened(double width, double height);

    double strokeWidth(double lineWidth) const;
    double headLength(double lineWidth) const;
    double headHalfWidth(double lineWidth) const;
    double highlighterWidth(double lineWidth) const;
    double textSize(double lineWidth) const;
};

inline constexpr double kHighlighterOpacity = 0.34;

// The semibold system face at a size in pixels (one pixel per point on the canvas).
QFont markupTextFont(double size);

// Draws one element in a painter whose origin is the picture's top-left corner, a unit point
// mapping to (x·size.width, y·size.height). An element lacking what its kind needs draws nothing.
void drawMarkupElement(QPainter& painter, const VeskMarkupElement& element, QSizeF size, const MarkupMetrics& metrics);

// Stamps the elements, in order, into `target` of the image (the whole image when target is
// empty): unit coordinates refer to that rectangle and the flattened sizes to its size.
void stampMarkup(QImage& image, const QList<VeskMarkupElement>& elements, QRect target = {});

} // namespace vesk
