#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <optional>

namespace vesk {

// The model tag stored with every face print made here; prints of different tags are not
// comparable.
inline const QString kFacePrintModel = QStringLiteral("Vesk-faceres-r1");

// The description of a face: the faceres model's 1024 values for the padded face rectangle of
// `normalisedBox` (0..1, origin at the lower left), scaled to unit length, so that the cosine of
// two prints is their dot product. Nothing when the crop is under 20 pixels, the model is
// unavailable or its output is unusable.
std::optional<QList<double>> facePrint(const QImage& image, const QRectF& normalisedBox);

// The same for a face crop that is already cut out.
std::optional<QList<double>> facePrintOfCrop(const QImage& crop);

// The cosine similarity of two prints (their dot product when both have unit length); 0 for
// prints of different lengths.
double printSimilarity(const QList<double>& a, const QList<double>& b);

} // namespace vesk
