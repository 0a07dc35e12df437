#include "editor/MarkupGeometry.h"

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr double kHitPoints = 14;
constexpr double kMinimumTolerance = 0.015;
constexpr double kLineHitFactor = 1.5;
constexpr double kMinimumFramePoints = 18;
constexpr double kTextFieldHalfWidth = 128;
constexpr double kTextFieldHalfHeight = 18;
constexpr double kTextScalePerUnit = 24;
constexpr double kMinimumTextWidth = 2;
constexpr double kMaximumTextWidth = 24;

double clampUnit(double value)
{
    return std::clamp(value, 0.0, 1.0);
}

bool isBox(VeskMarkupTool kind)
{
    return kind == VeskMarkupTool::Rectangle || kind == VeskMarkupTool::Circle || kind == VeskMarkupTool::Ellipse;
}

double distanceToSegment(QPointF q, QPointF s, QPointF e)
{
    const QPointF d = e - s;
    const double lengthSquared = QPointF::dotProduct(d, d);
    if (lengthSquared == 0)
        return std::hypot(q.x() - s.x(), q.y() - s.y());
    const double u = std::clamp(QPointF::dotProduct(q - s, d) / lengthSquared, 0.0, 1.0);
    const QPointF nearest = s + u * d;
    return std::hypot(q.x() - nearest.x(), q.y() - nearest.y());
}

// Left and top edges inside, right and bottom outside.
bool halfOpenContains(const QRectF& box, QPointF q)
{
    return q.x() >= box.left() && q.x() < box.right() && q.y() >= box.top() && q.y() < box.bottom();
}

bool hits(const VeskMarkupElement& element, QPointF q, double tolerance)
{
    switch (element.kind) {
    case VeskMarkupTool::Arrow:
    case VeskMarkupTool::Line:
        return element.start && element.end
            && distanceToSegment(q, *element.start, *element.end) <= kLineHitFactor * tolerance;
    case VeskMarkupTool::Rectangle:
    case VeskMarkupTool::Circle:
    case VeskMarkupTool::Ellipse:
        return element.start && element.end
            && halfOpenContains(unitBounds(element).adjusted(-tolerance, -tolerance, tolerance, tolerance), q);
    case VeskMarkupTool::Text:
        return element.start
            && halfOpenContains(QRectF(element.start->x() - tolerance, element.start->y() - tolerance,
                                       kNominalTextBoxWidth, kNominalTextBoxHeight),
                                q);
    case VeskMarkupTool::Freehand:
    case VeskMarkupTool::Highlighter:
        return false;
    }
    return false;
}

// One axis of a circle corner: the anchor stays, the moved side goes `side` towards proposed.
double squaredAxis(double anchor, double proposed, double side)
{
    return anchor <= proposed ? clampUnit(anchor + side) : clampUnit(anchor - side);
}

} // namespace

double markupHitTolerance(QSizeF imageSize)
{
    const double longest = std::max(imageSize.width(), imageSize.height());
    if (!(longest > 0))
        return kMinimumTolerance;
    return std::max(kHitPoints / longest, kMinimumTolerance);
}

std::optional<VeskMarkupElement> hitElement(const QList<VeskMarkupElement>& elements, QPointF q, QSizeF imageSize)
{
    const double tolerance = markupHitTolerance(imageSize);
    for (auto it = elements.crbegin(); it != elements.crend(); ++it) {
        if (hits(*it, q, tolerance))
            return *it;
    }
    return std::nullopt;
}

VeskMarkupElement movedElement(const VeskMarkupElement& element, double dx, double dy)
{
    const QRectF box = unitBounds(element);
    const double limitedX = std::min(1.0 - box.right(), std::max(dx, -box.left()));
    const double limitedY = std::min(1.0 - box.bottom(), std::max(dy, -box.top()));
    const QPointF shift(limitedX, limitedY);
    VeskMarkupElement moved = element;
    if (moved.start)
        *moved.start += shift;
    if (moved.end)
        *moved.end += shift;
    for (QPointF& point : moved.points)
        point += shift;
    return moved;
}

QPointF squaredCircleEnd(QPointF start, QPointF q)
{
    const double dx = q.x() - start.x();
    const double dy = q.y() - start.y();
    const double side = std::min(std::abs(dx), std::abs(dy));
    return QPointF(start.x() + (dx >= 0 ? side : -side), start.y() + (dy >= 0 ? side : -side));
}

QRectF selectionOverlayFrame(const VeskMarkupElement& element, QSizeF imageSize)
{
    const QRectF box = unitBounds(element);
    return QRectF(box.left() * imageSize.width(), box.top() * imageSize.height(),
                  std::max(box.width() * imageSize.width(), kMinimumFramePoints),
                  std::max(box.height() * imageSize.height(), kMinimumFramePoints));
}

QPointF inlineTextCentre(QPointF p, QSizeF imageSize)
{
    const double w = imageSize.width();
    const double h = imageSize.height();
    return QPointF(std::min(std::max(p.x() * w, kTextFieldHalfWidth), w - kTextFieldHalfWidth),
                   std::min(std::max(p.y() * h, kTextFieldHalfHeight), h - kTextFieldHalfHeight));
}

QList<PlacedHandle> resizeHandles(const VeskMarkupElement& element, QSizeF imageSize)
{
    const double w = imageSize.width();
    const double h = imageSize.height();
    const QRectF frame = selectionOverlayFrame(element, imageSize);
    switch (element.kind) {
    case VeskMarkupTool::Rectangle:
    case VeskMarkupTool::Circle:
    case VeskMarkupTool::Ellipse:
        return {{ResizeHandle::TopLeft, frame.topLeft()},
                {ResizeHandle::TopRight, QPointF(frame.right(), frame.top())},
                {ResizeHandle::BottomLeft, QPointF(frame.left(), frame.bottom())},
                {ResizeHandle::BottomRight, frame.bottomRight()}};
    case VeskMarkupTool::Arrow:
    case VeskMarkupTool::Line: {
        QList<PlacedHandle> handles;
        if (element.start)
            handles.append({ResizeHandle::Start, QPointF(element.start->x() * w, element.start->y() * h)});
        if (element.end)
            handles.append({ResizeHandle::End, QPointF(element.end->x() * w, element.end->y() * h)});
        return handles;
    }
    case VeskMarkupTool::Text:
        return {{ResizeHandle::TextScale, frame.bottomRight()}};
    case VeskMarkupTool::Freehand:
    case VeskMarkupTool::Highlighter:
        return {};
    }
    return {};
}

QRectF textDragArea(const QRectF& frame)
{
    const QSizeF size(std::max(frame.width(), kTextDragMinimumSide), std::max(frame.height(), kTextDragMinimumSide));
    return QRectF(frame.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

std::optional<SelectionTarget> selectionTargetAt(const VeskMarkupElement& element, QPointF p, QSizeF imageSize)
{
    const QList<PlacedHandle> handles = resizeHandles(element, imageSize);
    for (auto it = handles.crbegin(); it != handles.crend(); ++it) {
        const QRectF square(it->position - QPointF(kResizeHandleHitSize / 2, kResizeHandleHitSize / 2),
                            QSizeF(kResizeHandleHitSize, kResizeHandleHitSize));
        if (square.contains(p))
            return SelectionTarget{SelectionTarget::Kind::Handle, it->handle};
    }
    if (element.kind == VeskMarkupTool::Text && textDragArea(selectionOverlayFrame(element, imageSize)).contains(p))
        return SelectionTarget{SelectionTarget::Kind::TextDrag, ResizeHandle::TextScale};
    return std::nullopt;
}

VeskMarkupElement normalizedBox(VeskMarkupElement element)
{
    if (!isBox(element.kind) || !element.start || !element.end)
        return element;
    const QRectF box = unitBounds(element);
    element.start = box.topLeft();
    element.end = box.bottomRight();
    return element;
}

VeskMarkupElement resized(const VeskMarkupElement& element, ResizeHandle handle, double dx, double dy)
{
    VeskMarkupElement result = element;
    const auto shifted = [dx, dy](QPointF p) { return QPointF(clampUnit(p.x() + dx), clampUnit(p.y() + dy)); };

    switch (element.kind) {
    case VeskMarkupTool::Arrow:
    case VeskMarkupTool::Line:
        if (handle == ResizeHandle::Start && result.start)
            result.start = shifted(*result.start);
        else if (handle == ResizeHandle::End && result.end)
            result.end = shifted(*result.end);
        return result;

    case VeskMarkupTool::Rectangle:
    case VeskMarkupTool::Circle:
    case VeskMarkupTool::Ellipse: {
        if (!element.start || !element.end)
            return result;
        result = normalizedBox(element);
        QPointF start = *result.start;
        QPointF end = *result.end;
        // The corner that moves and the one opposite it, which a circle keeps fixed.
        QPointF moved;
        QPointF anchor;
        switch (handle) {
        case ResizeHandle::TopLeft:
            start = shifted(start);
            moved = start;
            anchor = end;
            break;
        case ResizeHandle::TopRight:
            start.setY(clampUnit(start.y() + dy));
            end.setX(clampUnit(end.x() + dx));
            moved = QPointF(end.x(), start.y());
            anchor = QPointF(start.x(), end.y());
            break;
        case ResizeHandle::BottomLeft:
            start.setX(clampUnit(start.x() + dx));
            end.setY(clampUnit(end.y() + dy));
            moved = QPointF(start.x(), end.y());
            anchor = QPointF(end.x(), start.y());
            break;
        case ResizeHandle::BottomRight:
            end = shifted(end);
            moved = end;
            anchor = start;
            break;
        case ResizeHandle::Start:
        case ResizeHandle::End:
        case ResizeHandle::TextScale:
            return result;
        }
        if (element.kind == VeskMarkupTool::Circle) {
            const double side = std::min(std::abs(moved.x() - anchor.x()), std::abs(moved.y() - anchor.y()));
            const double x = squaredAxis(anchor.x(), moved.x(), side);
            const double y = squaredAxis(anchor.y(), moved.y(), side);
            switch (handle) {
            case ResizeHandle::TopLeft: start = QPointF(x, y); break;
            case ResizeHandle::TopRight: end.setX(x); start.setY(y); break;
            case ResizeHandle::BottomLeft: start.setX(x); end.setY(y); break;
            case ResizeHandle::BottomRight: end = QPointF(x, y); break;
            default: break;
            }
        }
        result.start = start;
        result.end = end;
        return result;
    }

    case VeskMarkupTool::Text:
        if (handle == ResizeHandle::TextScale) {
            const double dominant = std::abs(dy) <= std::abs(dx) ? dx : dy;
            result.lineWidth = std::clamp(element.lineWidth + dominant * kTextScalePerUnit, kMinimumTextWidth,
                                          kMaximumTextWidth);
        }
        return result;

    case VeskMarkupTool::Freehand:
    case VeskMarkupTool::Highlighter:
        return result;
    }
    return result;
}

} // namespace vesk
