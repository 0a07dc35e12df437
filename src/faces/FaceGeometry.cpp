#include "faces/FaceGeometry.h"

#include <algorithm>
#include <cmath>

namespace vesk {

std::optional<QRect> paddedFaceRect(const QRectF& normalisedBox, QSize imageSize)
{
    if (imageSize.isEmpty())
        return std::nullopt;
    const double width = imageSize.width();
    const double height = imageSize.height();
    double left = normalisedBox.x() * width;
    double top = (1.0 - (normalisedBox.y() + normalisedBox.height())) * height;
    double boxWidth = normalisedBox.width() * width;
    double boxHeight = normalisedBox.height() * height;
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(boxWidth) || !std::isfinite(boxHeight))
        return std::nullopt;
    const double pad = kFaceCropPadding * std::max(boxWidth, boxHeight);
    left -= pad;
    top -= pad;
    double right = left + boxWidth + 2 * pad;
    double bottom = top + boxHeight + 2 * pad;
    left = std::max(left, 0.0);
    top = std::max(top, 0.0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (right <= left || bottom <= top)
        return std::nullopt;
    // Whole pixels that contain the clipped rectangle.
    const int x0 = int(std::floor(left));
    const int y0 = int(std::floor(top));
    const int x1 = int(std::ceil(right));
    const int y1 = int(std::ceil(bottom));
    if (x1 - x0 < kMinimumFaceCropPixels || y1 - y0 < kMinimumFaceCropPixels)
        return std::nullopt;
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

QRectF normalisedLowerLeftBox(const QRectF& pixelBox, QSize imageSize)
{
    const double width = imageSize.width();
    const double height = imageSize.height();
    return QRectF(pixelBox.x() / width, 1.0 - (pixelBox.y() + pixelBox.height()) / height, pixelBox.width() / width,
                  pixelBox.height() / height);
}

} // namespace vesk
