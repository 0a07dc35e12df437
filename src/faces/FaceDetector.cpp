#include "faces/FaceDetector.h"

#include "faces/ImageTensor.h"
#include "faces/VisionModels.h"
#include "platform/Log.h"

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr int kInputSize = 256;

struct Anchor {
    float x, y;
};

// Two feature maps: 16 x 16 cells of 2 anchors (stride 16) and 8 x 8 cells of 6 (stride 32),
// in the order the model's outputs list them.
const std::vector<Anchor>& anchors()
{
    static const std::vector<Anchor> list = [] {
        std::vector<Anchor> result;
        const struct {
            int stride, perCell;
        } maps[] = {{16, 2}, {32, 6}};
        for (const auto& map : maps) {
            const int cells = kInputSize / map.stride;
            for (int y = 0; y < cells; ++y)
                for (int x = 0; x < cells; ++x)
                    for (int k = 0; k < map.perCell; ++k)
                        result.push_back({float((x + 0.5) * map.stride), float((y + 0.5) * map.stride)});
        }
        return result;
    }();
    return list;
}

double overlap(const QRectF& a, const QRectF& b)
{
    const QRectF both = a.intersected(b);
    if (both.isEmpty())
        return 0;
    const double shared = both.width() * both.height();
    return shared / (a.width() * a.height() + b.width() * b.height() - shared);
}

// Runs the detector on one region of the picture and adds its faces in picture pixels.
void detectInRegion(const nn::GraphModel& model, const QImage& image, const QRect& region, double threshold,
                    QList<FaceBox>* found)
{
    double scale = 1;
    const QImage part = region == image.rect() ? image : image.copy(region);
    nn::Tensor input = letterboxedTensor(part, kInputSize, {1.0f / 127.5f, -1.0f}, &scale);
    auto outputs = model.run({{QStringLiteral("input"), std::move(input)}},
                             {QStringLiteral("Identity:0"), QStringLiteral("Identity_1:0"), QStringLiteral("Identity_2:0"),
                              QStringLiteral("Identity_3:0")});
    if (!outputs) {
        if (!outputs.error().stopped)
            veskLog(QStringLiteral("Vesk face detection error: ") + outputs.error().message);
        return;
    }
    const nn::Tensor& scores16 = (*outputs)[0];
    const nn::Tensor& scores32 = (*outputs)[1];
    const nn::Tensor& boxes16 = (*outputs)[2];
    const nn::Tensor& boxes32 = (*outputs)[3];
    const int64_t count16 = scores16.size();
    if (count16 + scores32.size() != int64_t(anchors().size()) || boxes16.size() != count16 * 16
        || boxes32.size() != scores32.size() * 16) {
        veskLog(QStringLiteral("Vesk face detection error: the model's outputs have unexpected shapes"));
        return;
    }
    for (int64_t k = 0; k < int64_t(anchors().size()); ++k) {
        const bool first = k < count16;
        const int64_t row = first ? k : k - count16;
        const float logit = std::clamp(first ? scores16.f[size_t(row)] : scores32.f[size_t(row)], -80.0f, 80.0f);
        const double score = 1.0 / (1.0 + std::exp(-double(logit)));
        if (!(score >= threshold))
            continue;
        const float* box = (first ? boxes16.f.data() : boxes32.f.data()) + row * 16;
        const Anchor& anchor = anchors()[size_t(k)];
        const double centreX = anchor.x + box[0];
        const double centreY = anchor.y + box[1];
        const double width = box[2];
        const double height = box[3];
        if (!(width > 0) || !(height > 0))
            continue;
        QRectF pixels((centreX - width / 2) / scale + region.x(), (centreY - height / 2) / scale + region.y(),
                      width / scale, height / scale);
        pixels = pixels.intersected(QRectF(image.rect()));
        if (pixels.isEmpty())
            continue;
        QList<QPointF> landmarks;
        for (int point = 0; point < 6; ++point)
            landmarks.append(QPointF((anchor.x + box[4 + 2 * point]) / scale + region.x(),
                                     (anchor.y + box[5 + 2 * point]) / scale + region.y()));
        found->append({pixels, score, landmarks});
    }
}

// Whether a box and its landmarks could be a face at all, the way the model's own pipeline
// checks them: not too small for the picture, about square, both eyes in the upper part of the
// box and apart, the mouth well below them. Blurred print and textures that score high fail here.
bool isPlausibleFace(const FaceBox& face, QSize picture)
{
    const QRectF& box = face.box;
    const double longest = std::max(picture.width(), picture.height());
    if (std::min(box.width(), box.height()) < std::max(kMinimumFacePixels, kMinimumFaceFraction * longest))
        return false;
    const double aspect = box.width() / box.height();
    if (aspect < 0.6 || aspect > 1.6)
        return false;
    if (face.landmarks.size() < 4)
        return false;
    // Landmarks as fractions of the box.
    const auto relative = [&](int k) {
        return QPointF((face.landmarks[k].x() - box.left()) / box.width(), (face.landmarks[k].y() - box.top()) / box.height());
    };
    const QPointF leftEye = relative(0);
    const QPointF rightEye = relative(1);
    const QPointF mouth = relative(3);
    const auto inside = [](const QPointF& p) { return p.x() > -0.1 && p.x() < 1.1 && p.y() > -0.1 && p.y() < 1.1; };
    if (!inside(leftEye) || !inside(rightEye) || !inside(mouth))
        return false;
    if (leftEye.y() > 0.6 || rightEye.y() > 0.6)
        return false;
    if (std::abs(rightEye.x() - leftEye.x()) < 0.2)
        return false;
    return mouth.y() > std::max(leftEye.y(), rightEye.y()) + 0.15;
}

// Regions to look at: the whole picture and, when faces could be too small for one look at 256
// pixels, a grid of overlapping tiles of half the picture's longer side.
QList<QRect> regionsFor(QSize size)
{
    QList<QRect> regions{QRect(QPoint(0, 0), size)};
    const int longest = std::max(size.width(), size.height());
    if (longest < kInputSize * 5 / 4)
        return regions;
    const int tile = std::max(size.width(), size.height()) / 2;
    const int overlapPixels = tile / 4;
    const auto starts = [&](int extent) {
        QList<int> result;
        const int step = tile - overlapPixels;
        for (int start = 0;; start += step) {
            if (start + tile >= extent) {
                result.append(std::max(0, extent - tile));
                break;
            }
            result.append(start);
        }
        return result;
    };
    for (int y : starts(size.height()))
        for (int x : starts(size.width()))
            regions.append(QRect(x, y, std::min(tile, size.width() - x), std::min(tile, size.height() - y)));
    return regions;
}

} // namespace

QList<FaceBox> detectFaceBoxes(const QImage& image)
{
    if (image.isNull())
        return {};
    const nn::GraphModel* model = VisionModels::faceDetector();
    if (!model)
        return {};
    const QList<QRect> regions = regionsFor(image.size());
    QList<FaceBox> whole;
    detectInRegion(*model, image, regions.first(), kFaceScoreThreshold, &whole);
    QList<FaceBox> candidates;
    for (const FaceBox& face : std::as_const(whole))
        if (isPlausibleFace(face, image.size()))
            candidates.append(face);
    const qsizetype plausibleWhole = candidates.size();
    // The tiles are there for faces too small for one look at the whole picture. A face that
    // fills much of a tile is large in the whole picture too, where the model sees it with all
    // its surroundings: a tile alone is not believed about it.
    for (qsizetype k = 1; k < regions.size(); ++k) {
        QList<FaceBox> found;
        detectInRegion(*model, image, regions[k], kTileFaceScoreThreshold, &found);
        const double tileSide = std::max(regions[k].width(), regions[k].height());
        for (const FaceBox& face : std::as_const(found)) {
            if (!isPlausibleFace(face, image.size()))
                continue;
            const bool large = std::max(face.box.width(), face.box.height()) > kTileConfirmationFraction * tileSide;
            const bool confirmed = std::any_of(candidates.cbegin(), candidates.cbegin() + plausibleWhole,
                                               [&](const FaceBox& seen) {
                                                   return overlap(seen.box, face.box) > kFaceOverlapThreshold;
                                               });
            if (!large || confirmed)
                candidates.append(face);
        }
    }

    // Most confident first; a box that overlaps a kept one is the same face seen again.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const FaceBox& a, const FaceBox& b) { return a.confidence > b.confidence; });
    QList<FaceBox> kept;
    for (const FaceBox& candidate : std::as_const(candidates)) {
        const bool seen = std::any_of(kept.cbegin(), kept.cend(), [&](const FaceBox& face) {
            return overlap(face.box, candidate.box) > kFaceOverlapThreshold
                || face.box.contains(candidate.box.center()) || candidate.box.contains(face.box.center());
        });
        if (!seen)
            kept.append(candidate);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const FaceBox& a, const FaceBox& b) {
        return a.box.width() * a.box.height() > b.box.width() * b.box.height();
    });
    return kept;
}

} // namespace vesk
