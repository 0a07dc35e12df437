#include "faces/ObjectLabels.h"

#include "faces/ImageTensor.h"
#include "faces/VisionModels.h"
#include "platform/Log.h"

#include <algorithm>
#include <cmath>

namespace vesk {

const QStringList& objectClassIdentifiers()
{
    static const QStringList names{
        QStringLiteral("person"), QStringLiteral("bicycle"), QStringLiteral("car"), QStringLiteral("motorcycle"),
        QStringLiteral("airplane"), QStringLiteral("bus"), QStringLiteral("train"), QStringLiteral("truck"),
        QStringLiteral("boat"), QStringLiteral("traffic_light"), QStringLiteral("fire_hydrant"),
        QStringLiteral("stop_sign"), QStringLiteral("parking_meter"), QStringLiteral("bench"), QStringLiteral("bird"),
        QStringLiteral("cat"), QStringLiteral("dog"), QStringLiteral("horse"), QStringLiteral("sheep"),
        QStringLiteral("cow"), QStringLiteral("elephant"), QStringLiteral("bear"), QStringLiteral("zebra"),
        QStringLiteral("giraffe"), QStringLiteral("backpack"), QStringLiteral("umbrella"), QStringLiteral("handbag"),
        QStringLiteral("tie"), QStringLiteral("suitcase"), QStringLiteral("frisbee"), QStringLiteral("skis"),
        QStringLiteral("snowboard"), QStringLiteral("sports_ball"), QStringLiteral("kite"),
        QStringLiteral("baseball_bat"), QStringLiteral("baseball_glove"), QStringLiteral("skateboard"),
        QStringLiteral("surfboard"), QStringLiteral("tennis_racket"), QStringLiteral("bottle"),
        QStringLiteral("wine_glass"), QStringLiteral("cup"), QStringLiteral("fork"), QStringLiteral("knife"),
        QStringLiteral("spoon"), QStringLiteral("bowl"), QStringLiteral("banana"), QStringLiteral("apple"),
        QStringLiteral("sandwich"), QStringLiteral("orange"), QStringLiteral("broccoli"), QStringLiteral("carrot"),
        QStringLiteral("hot_dog"), QStringLiteral("pizza"), QStringLiteral("donut"), QStringLiteral("cake"),
        QStringLiteral("chair"), QStringLiteral("couch"), QStringLiteral("potted_plant"), QStringLiteral("bed"),
        QStringLiteral("dining_table"), QStringLiteral("toilet"), QStringLiteral("tv"), QStringLiteral("laptop"),
        QStringLiteral("mouse"), QStringLiteral("remote"), QStringLiteral("keyboard"), QStringLiteral("cell_phone"),
        QStringLiteral("microwave"), QStringLiteral("oven"), QStringLiteral("toaster"), QStringLiteral("sink"),
        QStringLiteral("refrigerator"), QStringLiteral("book"), QStringLiteral("clock"), QStringLiteral("vase"),
        QStringLiteral("scissors"), QStringLiteral("teddy_bear"), QStringLiteral("hair_drier"),
        QStringLiteral("toothbrush"),
    };
    return names;
}

QList<LabelObservation> classifyObjects(const QImage& image)
{
    if (image.isNull())
        return {};
    const nn::GraphModel* model = VisionModels::objectDetector();
    if (!model)
        return {};
    nn::Tensor input = stretchedTensor(image, 512, {1.0f, 0.0f});
    auto outputs = model->run({{QStringLiteral("tower_0/images"), std::move(input)}}, {QStringLiteral("tower_0/detections")});
    if (!outputs) {
        if (!outputs.error().stopped)
            veskLog(QStringLiteral("Vesk image classification error: ") + outputs.error().message);
        return {};
    }
    // Rows of (x1, y1, x2, y2, score, class); a class is as confident as its best detection.
    const nn::Tensor& detections = outputs->front();
    const QStringList& names = objectClassIdentifiers();
    std::vector<float> best(size_t(names.size()), -1.0f);
    for (int64_t row = 0; row + 6 <= detections.size(); row += 6) {
        const float score = detections.f[size_t(row + 4)];
        const float classValue = detections.f[size_t(row + 5)];
        if (!std::isfinite(classValue) || classValue < 0 || classValue >= float(names.size()) || !(score >= kObjectScoreFloor))
            continue;
        float& slot = best[size_t(classValue)];
        slot = std::max(slot, score);
    }
    QList<LabelObservation> observations;
    for (qsizetype k = 0; k < names.size(); ++k) {
        if (best[size_t(k)] >= 0)
            observations.append({names[k], best[size_t(k)]});
    }
    std::stable_sort(observations.begin(), observations.end(),
                     [](const LabelObservation& a, const LabelObservation& b) { return a.confidence > b.confidence; });
    return observations;
}

QString labelLine(const QList<LabelObservation>& observations)
{
    QStringList words;
    for (const LabelObservation& observation : observations) {
        if (words.size() == kMaximumLabels)
            break;
        if (!(observation.confidence >= kLabelConfidenceThreshold))
            continue;
        QString identifier = observation.identifier;
        identifier.replace(QLatin1Char(','), QLatin1Char(' '));
        identifier.replace(QLatin1Char('_'), QLatin1Char(' '));
        words.append(identifier);
    }
    return words.join(QLatin1Char(' '));
}

} // namespace vesk
