#pragma once

#include "editor/VeskMarkupElement.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <array>
#include <optional>

namespace vesk {

// How far from an element a press still hits it, in unit coordinates: 14 points along the longer
// side of the displayed picture, never below 0.015.
double markupHitTolerance(QSizeF imageSize);

// The topmost element under unit point q of a picture shown at imageSize, or none. Arrows and
// lines hit within 1.5 tolerances of the segment; boxes anywhere inside, grown by one tolerance;
// text inside its nominal box; strokes never.
std::optional<VeskMarkupElement> hitElement(const QList<VeskMarkupElement>& elements, QPointF q, QSizeF imageSize);

// The element shifted by (dx, dy) unit, the shift limited so that its box stays on the picture.
VeskMarkupElement movedElement(const VeskMarkupElement& element, double dx, double dy);

// Where a circle dragged from start to q ends: the square of the shorter side, towards q.
QPointF squaredCircleEnd(QPointF start, QPointF q);

// The selection frame of an element in the canvas's points: its unit box scaled to the picture,
// at least 18 by 18, growing right and down from the top-left corner.
QRectF selectionOverlayFrame(const VeskMarkupElement& element, QSizeF imageSize);

// The centre of the inline text field for a press at unit point p, kept 128 points from the
// left and right and 18 points from the top and bottom (the right and bottom limits win).
QPointF inlineTextCentre(QPointF p, QSizeF imageSize);

enum class ResizeHandle { Start, End, TopLeft, TopRight, BottomLeft, BottomRight, TextScale };

inline constexpr std::array<ResizeHandle, 7> kAllResizeHandles{
    ResizeHandle::Start,      ResizeHandle::End,         ResizeHandle::TopLeft,  ResizeHandle::TopRight,
    ResizeHandle::BottomLeft, ResizeHandle::BottomRight, ResizeHandle::TextScale};

// The handles an element shows and where (in the canvas's points): box corners for rectangles,
// circles and ellipses; both ends for arrows and lines; the scale knob at the frame's bottom-right
// for text; none for strokes.
struct PlacedHandle {
    ResizeHandle handle;
    QPointF position;
};
QList<PlacedHandle> resizeHandles(const VeskMarkupElement& element, QSizeF imageSize);

// What a press on the selection overlay of `element` takes, in the canvas's points (origin at the
// picture's top-left): a handle's 30-point square, or for text the drag area of at least 24 by 24
// points around its frame. Handles lie above the drag area, later handles above earlier ones.
struct SelectionTarget {
    enum class Kind { Handle, TextDrag };
    Kind kind = Kind::Handle;
    ResizeHandle handle = ResizeHandle::Start;
};
inline constexpr double kResizeHandleHitSize = 30;
inline constexpr double kTextDragMinimumSide = 24;
std::optional<SelectionTarget> selectionTargetAt(const VeskMarkupElement& element, QPointF p, QSizeF imageSize);
// The text drag area of a text element's frame.
QRectF textDragArea(const QRectF& frame);

// A box element with start at its top-left corner and end at its bottom-right, so each corner
// handle moves the corner it is drawn on whichever way the box was dragged out. Other kinds and
// boxes without both corners come back unchanged.
VeskMarkupElement normalizedBox(VeskMarkupElement element);

// The element reshaped by dragging `handle` by (dx, dy) unit. Boxes are normalised first; a
// circle stays square about the corner opposite the handle; text scales its lineWidth within
// 2...24; every coordinate stays within 0...1.
VeskMarkupElement resized(const VeskMarkupElement& element, ResizeHandle handle, double dx, double dy);

} // namespace vesk
