#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <QUuid>

namespace vesk {

// One face to cut from its photo: its identifier and its box, normalised to 0..1 with the origin
// at the lower left.
struct FacePreviewRequest {
    QUuid faceID;
    QRectF box;
};

// Previews are drawn at most 92 points wide; this keeps them sharp at twice that while a face that
// fills a 12-megapixel photo does not stay in memory at full size.
inline constexpr int kFacePreviewMaxPixels = 256;

// The padded face rectangle of every face cut from the upright picture, each scaled down to at
// most kFacePreviewMaxPixels on its longer side; faces whose rectangle is under 20 pixels either
// way are left out. Safe on any thread.
QHash<QUuid, QImage> cutFacePreviews(const QImage& image, const QList<FacePreviewRequest>& faces);
// The same for a picture file, decoded once. `decoded` says whether the file could be read: when
// it could, a face left out can never be cut from it.
struct FacePreviewCut {
    bool decoded = false;
    QHash<QUuid, QImage> previews;
};
FacePreviewCut cutFacePreviews(const QString& path, const QList<FacePreviewRequest>& faces);

} // namespace vesk
