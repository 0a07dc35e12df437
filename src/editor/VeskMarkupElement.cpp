#include "editor/VeskMarkupElement.h"

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

struct ToolEntry {
    VeskMarkupTool tool;
    const char* raw;
    const char* title;
    const char* symbol;
};

constexpr ToolEntry kTools[] = {
    {VeskMarkupTool::Arrow, "arrow", "Arrow", "arrow.up.right"},
    {VeskMarkupTool::Line, "line", "Line", "line.diagonal"},
    {VeskMarkupTool::Rectangle, "rectangle", "Rectangle", "rectangle"},
    {VeskMarkupTool::Circle, "circle", "Circle", "circle"},
    {VeskMarkupTool::Ellipse, "ellipse", "Ellipse", "oval"},
    {VeskMarkupTool::Freehand, "freehand", "Draw", "pencil.tip"},
    {VeskMarkupTool::Highlighter, "highlighter", "Highlight", "highlighter"},
    {VeskMarkupTool::Text, "text", "Text", "textformat"},
};

const ToolEntry& entry(VeskMarkupTool tool)
{
    return kTools[static_cast<int>(tool)];
}

double clampUnit(double value)
{
    // NaN (a degenerate rectangle upstream) lands on 0 like any value not above 0.
    if (!(value > 0))
        return 0;
    return std::min(value, 1.0);
}

} // namespace

QString markupToolRawValue(VeskMarkupTool tool)
{
    return QLatin1String(entry(tool).raw);
}

std::optional<VeskMarkupTool> markupToolFromRawValue(const QString& raw)
{
    for (const ToolEntry& candidate : kTools) {
        if (raw == QLatin1String(candidate.raw))
            return candidate.tool;
    }
    return std::nullopt;
}

QString markupToolTitle(VeskMarkupTool tool)
{
    return QLatin1String(entry(tool).title);
}

QString markupToolSymbol(VeskMarkupTool tool)
{
    return QLatin1String(entry(tool).symbol);
}

VeskMarkupElement makeMarkupElement(VeskMarkupTool kind, const QColor& color, double lineWidth)
{
    VeskMarkupElement element;
    element.id = QUuid::createUuid();
    element.kind = kind;
    element.color = color;
    element.lineWidth = lineWidth;
    return element;
}

QRectF unitBounds(const VeskMarkupElement& element)
{
    if (!element.start)
        return QRectF(0, 0, 0, 0);
    const QPointF s = *element.start;
    if (!element.end)
        return QRectF(s.x(), s.y(), kNominalTextBoxWidth, kNominalTextBoxHeight);
    const QPointF e = *element.end;
    return QRectF(std::min(s.x(), e.x()), std::min(s.y(), e.y()), std::abs(e.x() - s.x()), std::abs(e.y() - s.y()));
}

QPointF normalizedPoint(QPointF location, const QRectF& imageRect)
{
    if (!(imageRect.width() > 0) || !(imageRect.height() > 0))
        return QPointF(0, 0);
    return QPointF(clampUnit((location.x() - imageRect.left()) / imageRect.width()),
                   clampUnit((location.y() - imageRect.top()) / imageRect.height()));
}

} // namespace vesk
