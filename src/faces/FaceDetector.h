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
    // The model's six landmarks in picture pixels, in its order: the eye on the picture's left,
    // the other eye, the nose tip, the mouth's centre, the ear on the picture's left, the other.
    QList<QPointF> landmarks;
};

// Finds the faces of an upright picture with the blazeface model: the whole picture at the model's
// 256-pixel input, and for larger pictures also overlapping tiles, so that faces a tenth of the
// picture's width are found too; overlapping finds are merged. A find must look like a face (its
// size in the picture, its shape, where its eyes and mouth are), and a large one in a tile must be
// seen in the whole picture too. Boxes come largest first. Empty when the picture is null or the
// model is unavailable.
QList<FaceBox> detectFaceBoxes(const QImage& image);

// Tuning shared with the tests.
inline constexpr double kFaceScoreThreshold = 0.75;
// A tile sees less context than the whole picture, so what it alone finds must be surer.
inline constexpr double kTileFaceScoreThreshold = 0.8;
inline constexpr double kFaceOverlapThreshold = 0.3;
// A face's shorter side is at least this share of the picture's longer side, and this many pixels.
inline constexpr double kMinimumFaceFraction = 0.015;
inline constexpr double kMinimumFacePixels = 12;
// A face found in a tile and larger than this share of it must also be found in the whole picture.
inline constexpr double kTileConfirmationFraction = 0.5;

} // namespace vesk
