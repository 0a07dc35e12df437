#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>
#include <optional>

namespace vesk {

// The smallest crop a face print or a face preview is made from, in pixels per side.
inline constexpr int kMinimumFaceCropPixels = 20;

// The face box grown on every side by this share of its longer side before it is cut out.
inline constexpr double kFaceCropPadding = 0.18;

// The padded face rectangle in pixels (origin at the top left) of an image of `imageSize`, for a
// face box normalised to 0..1 with its origin at the lower left: grown by the padding on every
// side, clipped to the image, widened to whole pixels; nothing when a side is under 20 pixels.
std::optional<QRect> paddedFaceRect(const QRectF& normalisedBox, QSize imageSize);

// A box in pixels (origin at the top left) as the normalised lower-left-origin box of face records.
QRectF normalisedLowerLeftBox(const QRectF& pixelBox, QSize imageSize);

} // namespace vesk
