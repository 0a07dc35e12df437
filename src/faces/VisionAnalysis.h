#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

namespace vesk {

// One face as the analysis reports it, before it becomes a face record of the library.
struct DetectedFace {
    qint64 faceIndex = 0;   // position among the detector's faces; gaps where a face had no print
    QRectF box;             // normalised 0..1, origin at the lower left
    double confidence = 0;
    QString featureModel;
    QList<double> featureVector; // unit length, never empty

    friend bool operator==(const DetectedFace&, const DetectedFace&) = default;
};

// The three results of analysing one picture; each is empty when its part found nothing or
// failed.
struct ImageAnalysis {
    QString text;   // recognised lines joined by "\n"
    QString labels; // object identifiers joined by spaces
    QList<DetectedFace> faces;
};

// The vision analyses of a picture file or a decoded, upright picture. Everything here runs on
// the calling thread (text recognition of analyseImage on a second one) and may be called from
// several threads at once; none of it belongs on the main thread. A file that cannot be decoded
// gives empty results without running anything.
namespace vision {

QString recognizeText(const QImage& image);
QString classifyImage(const QImage& image);
// Faces with a print each, in the detector's order; faces whose padded crop is too small or
// whose print fails are left out but keep their position as faceIndex.
QList<DetectedFace> detectFaces(const QImage& image);

QString recognizeText(const QString& path);
QString classifyImage(const QString& path);
QList<DetectedFace> detectFaces(const QString& path);

// All three, decoding the file once; text recognition runs beside the two models.
ImageAnalysis analyseImage(const QString& path);
ImageAnalysis analyseImage(const QImage& image);

} // namespace vision

} // namespace vesk
