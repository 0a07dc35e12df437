#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>
#include <array>
#include <optional>

namespace vesk {

// The eight markup tools, in palette order.
enum class VeskMarkupTool { Arrow, Line, Rectangle, Circle, Ellipse, Freehand, Highlighter, Text };

inline constexpr std::array<VeskMarkupTool, 8> kAllMarkupTools{
    VeskMarkupTool::Arrow,   VeskMarkupTool::Line,     VeskMarkupTool::Rectangle,   VeskMarkupTool::Circle,
    VeskMarkupTool::Ellipse, VeskMarkupTool::Freehand, VeskMarkupTool::Highlighter, VeskMarkupTool::Text};

// "arrow", "line", ... "text": the case names.
QString markupToolRawValue(VeskMarkupTool tool);
// Exact match of a raw value; anything else is no tool.
std::optional<VeskMarkupTool> markupToolFromRawValue(const QString& raw);
// The palette's title ("Arrow", "Draw", "Highlight", ...) and symbol name.
QString markupToolTitle(VeskMarkupTool tool);
QString markupToolSymbol(VeskMarkupTool tool);

// One annotation. Every point is in unit coordinates of the picture: (0, 0) top-left, (1, 1)
// bottom-right, not aspect-corrected. lineWidth is in points of the on-screen canvas.
struct VeskMarkupElement {
    QUuid id;
    VeskMarkupTool kind = VeskMarkupTool::Arrow;
    std::optional<QPointF> start;
    std::optional<QPointF> end;
    QList<QPointF> points;
    QColor color;
    double lineWidth = 5;
    std::optional<QString> text;

    friend bool operator==(const VeskMarkupElement&, const VeskMarkupElement&) = default;
};

// A new element with a fresh identifier.
VeskMarkupElement makeMarkupElement(VeskMarkupTool kind, const QColor& color, double lineWidth);

// The nominal box of an element that has a start but no end (a text's box).
inline constexpr double kNominalTextBoxWidth = 0.24;
inline constexpr double kNominalTextBoxHeight = 0.1;

// The element's box in unit coordinates: empty at the origin without a start; the nominal text
// box at the start without an end; else the box the two points span. Stroke points take no part.
QRectF unitBounds(const VeskMarkupElement& element);

// A location in view coordinates as a unit point of `imageRect`, each axis clamped to 0...1;
// (0, 0) for a rectangle without a positive size.
QPointF normalizedPoint(QPointF location, const QRectF& imageRect);

} // namespace vesk
