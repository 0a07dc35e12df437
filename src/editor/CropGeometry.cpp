#include "editor/CropGeometry.h"

#include <algorithm>

namespace vesk {

namespace {

// A value at or below 0 gives 0; then the upper limit wins when it is smaller.
double clampInset(double value, double upper)
{
    return std::min(upper, std::max(value, 0.0));
}

bool squareContains(QPointF centre, double side, QPointF p)
{
    const double half = side / 2;
    return p.x() >= centre.x() - half && p.x() < centre.x() + half && p.y() >= centre.y() - half
        && p.y() < centre.y() + half;
}

} // namespace

CropInsets updateCropInsets(CropHandle handle, const CropInsets& start, double dx, double dy, double minimumFraction)
{
    CropInsets result = start;
    const double m = minimumFraction;
    const auto left = [&] { result.left = clampInset(start.left + dx, 1 - start.right - m); };
    const auto right = [&] { result.right = clampInset(start.right - dx, 1 - start.left - m); };
    const auto top = [&] { result.top = clampInset(start.top + dy, 1 - start.bottom - m); };
    const auto bottom = [&] { result.bottom = clampInset(start.bottom - dy, 1 - start.top - m); };

    switch (handle) {
    case CropHandle::Left: left(); break;
    case CropHandle::Right: right(); break;
    case CropHandle::Top: top(); break;
    case CropHandle::Bottom: bottom(); break;
    case CropHandle::TopLeft: left(); top(); break;
    case CropHandle::TopRight: right(); top(); break;
    case CropHandle::BottomLeft: left(); bottom(); break;
    case CropHandle::BottomRight: right(); bottom(); break;
    case CropHandle::Move: {
        const double width = (1 - start.left) - start.right;
        const double height = (1 - start.top) - start.bottom;
        result.left = clampInset(start.left + dx, 1 - width);
        result.right = std::max((1 - width) - result.left, 0.0);
        result.top = clampInset(start.top + dy, 1 - height);
        result.bottom = std::max((1 - height) - result.top, 0.0);
        break;
    }
    }
    return result;
}

QRectF cropRect(const QRectF& imageFrame, const CropInsets& crop)
{
    const double w = imageFrame.width();
    const double h = imageFrame.height();
    return QRectF(imageFrame.left() + w * crop.left, imageFrame.top() + h * crop.top,
                  std::max(w - w * crop.left - w * crop.right, 1.0), std::max(h - h * crop.top - h * crop.bottom, 1.0));
}

QPointF cropHandlePosition(CropHandle handle, const QRectF& crop)
{
    switch (handle) {
    case CropHandle::Left: return QPointF(crop.left(), crop.center().y());
    case CropHandle::Right: return QPointF(crop.right(), crop.center().y());
    case CropHandle::Top: return QPointF(crop.center().x(), crop.top());
    case CropHandle::Bottom: return QPointF(crop.center().x(), crop.bottom());
    case CropHandle::TopLeft: return crop.topLeft();
    case CropHandle::TopRight: return crop.topRight();
    case CropHandle::BottomLeft: return crop.bottomLeft();
    case CropHandle::BottomRight: return crop.bottomRight();
    case CropHandle::Move: return crop.center();
    }
    return crop.center();
}

std::optional<QRectF> cropMoveArea(const QRectF& crop, const CropOverlayMetrics& metrics)
{
    const double inset = metrics.moveInset;
    if (crop.width() < 2 * inset || crop.height() < 2 * inset)
        return std::nullopt;
    const QRectF inner = crop.adjusted(inset, inset, -inset, -inset);
    const QSizeF size(std::max(inner.width(), 1.0), std::max(inner.height(), 1.0));
    return QRectF(inner.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

std::optional<CropHandle> cropHandleAt(QPointF p, const QRectF& imageFrame, const CropInsets& crop,
                                       const CropOverlayMetrics& metrics)
{
    const QRectF rect = cropRect(imageFrame, crop);
    static constexpr CropHandle kTopmostFirst[] = {
        CropHandle::BottomRight, CropHandle::BottomLeft, CropHandle::TopRight, CropHandle::TopLeft,
        CropHandle::Right,       CropHandle::Left,       CropHandle::Bottom,   CropHandle::Top};
    for (const CropHandle handle : kTopmostFirst) {
        if (squareContains(cropHandlePosition(handle, rect), metrics.hitSize, p))
            return handle;
    }
    if (const std::optional<QRectF> area = cropMoveArea(rect, metrics); area && area->contains(p))
        return CropHandle::Move;
    return std::nullopt;
}

} // namespace vesk
