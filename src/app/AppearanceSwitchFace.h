#pragma once
// The face of the appearance switch: a dark machined plate with a brushed texture, engraved
// legends, scale ticks, hazard marks, four slotted screws, and a toggle lever on a hexagonal nut
// whose blue tip points up for light and down for dark. It looks the same in both appearances.

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace vesk {

// The flat-topped hexagon under the lever, pointed left and right; its slanted sides are steeper
// than a regular hexagon's (inset 0.22 of the width instead of 0.25).
QPainterPath aircraftHexNutPath(const QRectF& rect);

struct AppearanceSwitchFaceState {
    // Where the lever stands, -1 (up) to +1 (down); springs between the two.
    double leverOffset = -1.0;
    bool dragging = false;
    QColor tipColor;
};

inline constexpr double kSwitchLeverShaftLength = 12.5;

// The system monospaced face at a size in points, with tracking in points.
QFont monospacedFont(qreal points, QFont::Weight weight, qreal tracking);

// Paints the 72 by 92 face into `face`.
void paintAppearanceSwitchFace(QPainter& painter, const QRectF& face, const AppearanceSwitchFaceState& state);

} // namespace vesk
