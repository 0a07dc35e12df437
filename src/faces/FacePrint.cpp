#include "faces/FacePrint.h"

#include "faces/FaceGeometry.h"
#include "faces/ImageTensor.h"
#include "faces/VisionModels.h"
#include "platform/Log.h"

#include <cmath>

namespace vesk {

namespace {
constexpr int kInputSize = 224;
} // namespace

std::optional<QList<double>> facePrintOfCrop(const QImage& crop)
{
    if (crop.width() < kMinimumFaceCropPixels || crop.height() < kMinimumFaceCropPixels)
        return std::nullopt;
    const nn::GraphModel* model = VisionModels::faceDescriber();
    if (!model)
        return std::nullopt;
    // The whole crop is scaled into the model's square input; the model reads 0..255 values.
    nn::Tensor input = stretchedTensor(crop, kInputSize, {1.0f, 0.0f});
    auto outputs = model->run({{QStringLiteral("input_1"), std::move(input)}}, {QStringLiteral("global_pooling/Mean")});
    if (!outputs) {
        if (!outputs.error().stopped)
            veskLog(QStringLiteral("Vesk face print error: ") + outputs.error().message);
        return std::nullopt;
    }
    const nn::Tensor& description = outputs->front();
    double norm = 0;
    for (float value : description.f)
        norm += double(value) * double(value);
    norm = std::sqrt(norm);
    if (description.f.empty() || !std::isfinite(norm) || norm <= 0)
        return std::nullopt;
    QList<double> print;
    print.reserve(qsizetype(description.f.size()));
    for (float value : description.f)
        print.append(double(value) / norm);
    return print;
}

std::optional<QList<double>> facePrint(const QImage& image, const QRectF& normalisedBox)
{
    const auto rect = paddedFaceRect(normalisedBox, image.size());
    if (!rect)
        return std::nullopt;
    return facePrintOfCrop(image.copy(*rect));
}

double printSimilarity(const QList<double>& a, const QList<double>& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 0;
    double dot = 0, na = 0, nb = 0;
    for (qsizetype k = 0; k < a.size(); ++k) {
        dot += a[k] * b[k];
        na += a[k] * a[k];
        nb += b[k] * b[k];
    }
    return na > 0 && nb > 0 ? dot / std::sqrt(na * nb) : 0;
}

} // namespace vesk
