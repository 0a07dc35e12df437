#pragma once

#include "editor/EditPipeline.h"

#include <QPointF>
#include <QRectF>
#include <array>
#include <optional>

namespace vesk {

// The crop overlay's drag targets, in drawing order (later ones lie on top).
enum class CropHandle { Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight, Move };

inline constexpr std::array<CropHandle, 9> kAllCropHandles{
    CropHandle::Left,     CropHandle::Right,      CropHandle::Top,         CropHandle::Bottom, CropHandle::TopLeft,
    CropHandle::TopRight, CropHandle::BottomLeft, CropHandle::BottomRight, CropHandle::Move};

struct CropOverlayMetrics {
    double minimumFraction = 0.08;
    double hitSize = 34;
    double cornerArm = 24;
    double edgeHandleLength = 26;
    // How far inside the crop's edges the move area begins.
    double moveInset = 20;
};

// The insets after dragging `handle` by (dx, dy) fractions of the picture from `start`. Edges
// and corners leave at least minimumFraction of the picture, measured against the opposite
// side's start value; the move keeps the crop's size and stops at the picture's edges. Each
// rule changes only the insets it names; the others keep their start values.
CropInsets updateCropInsets(CropHandle handle, const CropInsets& start, double dx, double dy,
                            double minimumFraction = 0.08);

// The crop in the overlay's points over a picture shown in imageFrame (at least 1 by 1).
QRectF cropRect(const QRectF& imageFrame, const CropInsets& crop);

// Where a handle sits on the crop rectangle (the move area's centre for Move).
QPointF cropHandlePosition(CropHandle handle, const QRectF& crop);

// The move area: the crop inset on every side; none when the crop is too small for one.
std::optional<QRectF> cropMoveArea(const QRectF& crop, const CropOverlayMetrics& metrics = {});

// The target under point p, by the overlay's layering: corners beat edges, edges beat the move
// area, and among corners or edges the later one in the list wins. None over the band between
// the edges and the move area that no square reaches, and outside.
std::optional<CropHandle> cropHandleAt(QPointF p, const QRectF& imageFrame, const CropInsets& crop,
                                       const CropOverlayMetrics& metrics = {});

} // namespace vesk
