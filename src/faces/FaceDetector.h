#pragma once

#include <QImage>
#include <QList>
#include <QRectF>

namespace vesk {

// One face found in a picture: its box in pixels of the picture (origin at the top left) and the
// detector's confidence (0..1).
struct FaceBox {
    QRectF box;
    double confidence = 0;
};

// Finds the faces of an upright picture with the blazeface model: the whole picture at the model's
// 256-pixel input, and for larger pictures also overlapping tiles, so that faces a tenth of the
// picture's width are found too; overlapping finds are merged. Boxes come largest first. Empty
// when the picture is null or the model is unavailable.
QList<FaceBox> detectFaceBoxes(const QImage& image);

// Tuning shared with the tests.
inline constexpr double kFaceScoreThreshold = 0.75;
// A tile sees less context than the whole picture, so what it alone finds must be surer.
inline constexpr double kTileFaceScoreThreshold = 0.8;
inline constexpr double kFaceOverlapThreshold = 0.3;

} // namespace vesk
