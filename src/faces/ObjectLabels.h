#pragma once

#include <QImage>
#include <QList>
#include <QString>

namespace vesk {

// One class of everyday object seen in a picture, with the highest confidence it was seen with.
struct LabelObservation {
    QString identifier; // "dog", "traffic_light", ...
    float confidence = 0;
};

// The 80 object classes of the centernet model, as identifiers (words joined by "_").
const QStringList& objectClassIdentifiers();

// What the object detector sees in an upright picture: one observation per class whose best
// detection scores at least kObjectScoreFloor, most confident first (equal confidences in class
// order). Empty when the picture is null or the model is
// unavailable.
QList<LabelObservation> classifyObjects(const QImage& image);

// The label line of a picture: the observations whose confidence is at least 0.06 (compared as
// 32-bit floats; NaN never passes), the first 18 of them in their order, each identifier with
// "," and "_" turned into spaces, joined by single spaces.
QString labelLine(const QList<LabelObservation>& observations);

inline constexpr float kLabelConfidenceThreshold = 0.06f;
// Below this the detector's scores are noise (a mountain seen as a kite at 0.18), unlike the
// confidences of a whole-picture classifier that the label threshold above was made for.
inline constexpr float kObjectScoreFloor = 0.2f;
inline constexpr int kMaximumLabels = 18;

} // namespace vesk
