#include "faces/FaceSuggestions.h"

#include "faces/PersonPools.h"
#include "platform/Uuid.h"
#include "platform/nn/Gemm.h"
#include "platform/nn/ThreadPool.h"

#include <algorithm>
#include <cmath>

namespace vesk {

double faceSimilarity(const QList<double>& a, const QList<double>& b)
{
    double dot = 0;
    double sumA = 0;
    double sumB = 0;
    const qsizetype count = std::min(a.size(), b.size());
    const double* x = a.constData();
    const double* y = b.constData();
    for (qsizetype i = 0; i < count; ++i) {
        dot += x[i] * y[i];
        sumA += x[i] * x[i];
        sumB += y[i] * y[i];
    }
    if (sumA > 0 && sumB > 0)
        return dot / (std::sqrt(sumA) * std::sqrt(sumB));
    return 0;
}

// Every print of the most common length scaled to unit length and kept as floats, one row per
// face in `faces` order. Prints of other lengths, and prints whose values or sum of squares are
// not finite, have no row and are always compared exactly.
struct FaceSuggestionEngine::Prints {
    QList<QUuid> ids;
    qsizetype length = 0;
    std::vector<float> rows;       // rowCount x length
    std::vector<qsizetype> rowOf;  // per face: its row, or -1
    qsizetype rowCount = 0;
};

FaceSuggestionEngine::FaceSuggestionEngine() = default;
FaceSuggestionEngine::~FaceSuggestionEngine() = default;

void FaceSuggestionEngine::refresh(const QList<VeskFaceRecord>& faces)
{
    if (m_prints && m_prints->ids.size() == faces.size()) {
        bool same = true;
        for (qsizetype i = 0; i < faces.size() && same; ++i)
            same = m_prints->ids[i] == faces[i].id;
        if (same)
            return;
    }
    auto prints = std::make_unique<Prints>();
    QHash<qsizetype, int> lengths;
    for (const VeskFaceRecord& face : faces) {
        prints->ids.append(face.id);
        if (!face.featureVector.isEmpty())
            ++lengths[face.featureVector.size()];
    }
    int most = 0;
    for (auto it = lengths.cbegin(); it != lengths.cend(); ++it) {
        if (it.value() > most || (it.value() == most && it.key() < prints->length)) {
            most = it.value();
            prints->length = it.key();
        }
    }
    prints->rowOf.assign(size_t(faces.size()), -1);
    const qsizetype length = prints->length;
    prints->rows.reserve(size_t(most) * size_t(length));
    for (qsizetype i = 0; i < faces.size(); ++i) {
        const QList<double>& vector = faces[i].featureVector;
        if (length == 0 || vector.size() != length)
            continue;
        double sum = 0;
        bool finite = true;
        for (double value : vector) {
            finite = finite && std::isfinite(value);
            sum += value * value;
        }
        if (!finite || !std::isfinite(sum))
            continue;
        const double scale = sum > 0 ? 1.0 / std::sqrt(sum) : 0.0;
        for (double value : vector)
            prints->rows.push_back(float(value * scale));
        prints->rowOf[size_t(i)] = prints->rowCount++;
    }
    m_prints = std::move(prints);
}

QList<VeskFaceSuggestion> FaceSuggestionEngine::suggestions(const VeskFaceClusterRecord& pool,
                                                            const QList<VeskFaceRecord>& faces,
                                                            const QList<VeskFaceRejectionRecord>& rejections,
                                                            const QSet<QUuid>& ignored, int limit, double minimum)
{
    const QString poolName = personPoolName(pool.name);
    if (poolName.isEmpty())
        return {};
    std::vector<qsizetype> poolFaces;
    for (qsizetype i = 0; i < faces.size(); ++i) {
        if (faces[i].clusterID == pool.id && !faces[i].featureVector.isEmpty())
            poolFaces.push_back(i);
    }
    if (poolFaces.empty())
        return {};
    const QUuid representative = faces[poolFaces.front()].id;
    QSet<QUuid> rejected;
    for (const VeskFaceRejectionRecord& rejection : rejections) {
        if (rejection.clusterID == pool.id)
            rejected.insert(rejection.faceID);
    }

    refresh(faces);
    const Prints& prints = *m_prints;
    const qsizetype length = prints.length;
    // Pool faces with a float row, and the others, which are compared exactly every time.
    std::vector<qsizetype> fastPool;
    std::vector<qsizetype> exactPool;
    for (qsizetype i : poolFaces)
        (prints.rowOf[size_t(i)] >= 0 ? fastPool : exactPool).push_back(i);

    // products[row * fastCount + k]: the float cosine of face row `row` with pool face k.
    const qsizetype fastCount = qsizetype(fastPool.size());
    std::vector<float> products;
    if (fastCount > 0 && prints.rowCount > 0) {
        std::vector<float> poolRows;
        poolRows.reserve(size_t(fastCount * length));
        for (qsizetype i : fastPool) {
            const float* row = prints.rows.data() + prints.rowOf[size_t(i)] * length;
            poolRows.insert(poolRows.end(), row, row + length);
        }
        products.resize(size_t(prints.rowCount * fastCount));
        nn::ThreadPool::shared().parallelFor(prints.rowCount, 64, [&](int64_t begin, int64_t end) {
            nn::gemmTransposedB(prints.rows.data() + begin * length, poolRows.data(),
                                products.data() + begin * fastCount, end - begin, length, fastCount);
        });
    }
    // The float cosine differs from the exact one by less than this: the rounding of a dot
    // product of `length` terms of unit vectors, and of scaling them, with a margin of two.
    const double tolerance = double(length + 16) * std::ldexp(1.0, -23);

    QList<VeskFaceSuggestion> found;
    for (qsizetype c = 0; c < faces.size(); ++c) {
        const VeskFaceRecord& candidate = faces[c];
        if (candidate.clusterID || candidate.featureVector.isEmpty() || ignored.contains(candidate.id)
            || rejected.contains(candidate.id))
            continue;
        double best = -1.0;
        const auto consider = [&](qsizetype poolIndex) {
            const QList<double>& print = faces[poolIndex].featureVector;
            if (print.size() != candidate.featureVector.size())
                return;
            const double similarity = faceSimilarity(candidate.featureVector, print);
            if (similarity >= best)
                best = similarity;
        };
        const qsizetype row = prints.rowOf[size_t(c)];
        if (row >= 0 && !products.empty()) {
            const float* values = products.data() + row * fastCount;
            const double top = *std::max_element(values, values + fastCount);
            // When no pool face with a row can reach the minimum, their exact figures cannot
            // change the outcome.
            if (top + tolerance >= minimum) {
                for (qsizetype k = 0; k < fastCount; ++k) {
                    if (double(values[k]) >= top - 2 * tolerance)
                        consider(fastPool[size_t(k)]);
                }
            }
        } else {
            for (qsizetype i : fastPool)
                consider(i);
        }
        for (qsizetype i : exactPool)
            consider(i);
        if (best >= minimum) {
            found.append(VeskFaceSuggestion{uuidString(pool.id) + QLatin1Char('-') + uuidString(candidate.id),
                                            candidate.id, pool.id, poolName, representative, best});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const VeskFaceSuggestion& a, const VeskFaceSuggestion& b) {
        return a.similarity > b.similarity;
    });
    if (found.size() > std::max(limit, 0))
        found.resize(std::max(limit, 0));
    return found;
}

} // namespace vesk
