#include "faces/FaceSuggestionEngine.h"

#include "faces/PersonPools.h"
#include "platform/Uuid.h"
#include "platform/nn/Gemm.h"
#include "platform/nn/ParallelFor.h"

#include <QHash>
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

namespace {

constexpr float kNoSimilarity = -2.0f;

// out[i] = the largest dot product of row i of `rows` (count x length) with any row of `others`
// (otherCount x length), or the larger of that and out[i] when `combine` is set.
void largestProducts(const float* rows, qsizetype count, const float* others, qsizetype otherCount, qsizetype length,
                     float* out, bool combine)
{
    if (count == 0 || otherCount == 0)
        return;
    nn::parallelFor(count, 64, [&](int64_t begin, int64_t end) {
        std::vector<float> products(size_t((end - begin) * otherCount));
        nn::gemmTransposedB(rows + begin * length, others, products.data(), end - begin, length, otherCount);
        for (int64_t i = begin; i < end; ++i) {
            const float* values = products.data() + (i - begin) * otherCount;
            const float top = *std::max_element(values, values + otherCount);
            out[i] = combine ? std::max(out[i], top) : top;
        }
    });
}

} // namespace

struct FaceSuggestionEngine::State {
    struct Entry {
        int slot = -1; // row of its print, or -1 for a face whose print has no row
        std::optional<QUuid> pool;
        quint32 seen = 0;
    };

    // The length of the prints that have rows; other lengths and prints with values that are not
    // finite are compared exactly.
    qsizetype length = 0;
    QHash<QUuid, Entry> entries;
    std::vector<float> rows; // capacity x length, unit length
    std::vector<int> freeSlots;
    int capacity = 0;
    quint32 stamp = 0;
    // Per pool brought up to date: the best float similarity of each slot to the pool's faces.
    QHash<QUuid, std::vector<float>> best;
    // The faces as last seen, in their order, and each one's slot: when they come back unchanged
    // nothing needs looking up.
    std::vector<std::pair<QUuid, std::optional<QUuid>>> seen;
    std::vector<int> slotAt;

    bool unchanged(const QList<VeskFaceRecord>& faces) const
    {
        if (seen.size() != size_t(faces.size()))
            return false;
        for (qsizetype i = 0; i < faces.size(); ++i) {
            if (seen[size_t(i)].first != faces[i].id || seen[size_t(i)].second != faces[i].clusterID)
                return false;
        }
        return true;
    }
    void remember(const QList<VeskFaceRecord>& faces)
    {
        seen.clear();
        slotAt.clear();
        seen.reserve(size_t(faces.size()));
        slotAt.reserve(size_t(faces.size()));
        for (const VeskFaceRecord& face : faces) {
            seen.emplace_back(face.id, face.clusterID);
            slotAt.push_back(entries.value(face.id).slot);
        }
    }

    const float* row(int slot) const { return rows.data() + qsizetype(slot) * length; }

    int place(const QList<double>& print)
    {
        if (length == 0 || print.size() != length)
            return -1;
        double sum = 0;
        for (double value : print) {
            if (!std::isfinite(value))
                return -1;
            sum += value * value;
        }
        if (!std::isfinite(sum))
            return -1;
        int slot;
        if (!freeSlots.empty()) {
            slot = freeSlots.back();
            freeSlots.pop_back();
        } else {
            slot = capacity++;
            rows.resize(size_t(capacity) * size_t(length));
            for (auto& values : best)
                values.resize(size_t(capacity), kNoSimilarity);
        }
        const double scale = sum > 0 ? 1.0 / std::sqrt(sum) : 0.0;
        float* out = rows.data() + qsizetype(slot) * length;
        for (qsizetype i = 0; i < length; ++i)
            out[i] = float(print[i] * scale);
        return slot;
    }

    std::vector<float> gather(const std::vector<int>& chosen) const
    {
        std::vector<float> gathered;
        gathered.reserve(chosen.size() * size_t(length));
        for (int slot : chosen)
            gathered.insert(gathered.end(), row(slot), row(slot) + length);
        return gathered;
    }

    // Every slot against the given faces' rows.
    void compare(std::vector<float>& values, const std::vector<int>& faceSlots, bool combine) const
    {
        const std::vector<float> faceRows = gather(faceSlots);
        largestProducts(rows.data(), capacity, faceRows.data(), qsizetype(faceSlots.size()), length, values.data(),
                        combine);
    }
};

FaceSuggestionEngine::FaceSuggestionEngine() = default;
FaceSuggestionEngine::~FaceSuggestionEngine() = default;

void FaceSuggestionEngine::rebuild(const QList<VeskFaceRecord>& faces)
{
    m_state = std::make_unique<State>();
    QHash<qsizetype, int> lengths;
    for (const VeskFaceRecord& face : faces) {
        if (!face.featureVector.isEmpty())
            ++lengths[face.featureVector.size()];
    }
    int most = 0;
    for (auto it = lengths.cbegin(); it != lengths.cend(); ++it) {
        if (it.value() > most || (it.value() == most && it.key() < m_state->length)) {
            most = it.value();
            m_state->length = it.key();
        }
    }
    m_state->rows.reserve(size_t(most) * size_t(m_state->length));
    for (const VeskFaceRecord& face : faces)
        m_state->entries.insert(face.id, {m_state->place(face.featureVector), face.clusterID, 0});
}

void FaceSuggestionEngine::synchronise(const QList<VeskFaceRecord>& faces)
{
    if (!m_state) {
        rebuild(faces);
        m_state->remember(faces);
        return;
    }
    if (m_state->unchanged(faces))
        return;
    update(faces);
    m_state->remember(faces);
}

void FaceSuggestionEngine::update(const QList<VeskFaceRecord>& faces)
{
    State& state = *m_state;
    const quint32 stamp = ++state.stamp;
    std::vector<int> newSlots;
    QHash<QUuid, std::vector<int>> joined;
    QSet<QUuid> left;
    qsizetype withoutRow = 0;
    for (const VeskFaceRecord& face : faces) {
        auto entry = state.entries.find(face.id);
        if (entry == state.entries.end()) {
            const int slot = state.place(face.featureVector);
            entry = state.entries.insert(face.id, {slot, face.clusterID, stamp});
            if (slot >= 0) {
                newSlots.push_back(slot);
                if (face.clusterID)
                    joined[*face.clusterID].push_back(slot);
            }
        } else {
            entry->seen = stamp;
            if (entry->pool != face.clusterID) {
                if (entry->pool)
                    left.insert(*entry->pool);
                if (face.clusterID && entry->slot >= 0)
                    joined[*face.clusterID].push_back(entry->slot);
                entry->pool = face.clusterID;
            }
        }
        if (entry->slot < 0 && !face.featureVector.isEmpty())
            ++withoutRow;
    }
    // Most prints have another length now (another model): start again with that length.
    if (withoutRow * 2 > faces.size()) {
        rebuild(faces);
        return;
    }
    if (state.entries.size() > faces.size()) {
        for (auto entry = state.entries.begin(); entry != state.entries.end();) {
            if (entry->seen == stamp) {
                ++entry;
                continue;
            }
            if (entry->slot >= 0)
                state.freeSlots.push_back(entry->slot);
            if (entry->pool)
                left.insert(*entry->pool);
            entry = state.entries.erase(entry);
        }
    }
    // A pool that lost a face is worked out again when it is next asked for.
    for (const QUuid& pool : std::as_const(left))
        state.best.remove(pool);
    if (state.best.isEmpty() || (newSlots.empty() && joined.isEmpty()))
        return;

    QHash<QUuid, std::vector<int>> members;
    for (const VeskFaceRecord& face : faces) {
        if (face.clusterID && state.best.contains(*face.clusterID)) {
            const int slot = state.entries.value(face.id).slot;
            if (slot >= 0)
                members[*face.clusterID].push_back(slot);
        }
    }
    const std::vector<float> newRows = state.gather(newSlots);
    for (auto pool = state.best.begin(); pool != state.best.end(); ++pool) {
        std::vector<float>& values = pool.value();
        const std::vector<int>& own = members[pool.key()];
        if (!newSlots.empty() && !own.empty()) {
            const std::vector<float> ownRows = state.gather(own);
            std::vector<float> top(newSlots.size(), kNoSimilarity);
            largestProducts(newRows.data(), qsizetype(newSlots.size()), ownRows.data(), qsizetype(own.size()),
                            state.length, top.data(), false);
            for (size_t i = 0; i < newSlots.size(); ++i)
                values[size_t(newSlots[i])] = top[i];
        }
        if (const auto added = joined.constFind(pool.key()); added != joined.cend())
            state.compare(values, *added, true);
    }
}

void FaceSuggestionEngine::figureMissingPools(const QList<VeskFaceRecord>& faces)
{
    State& state = *m_state;
    // The rows of each pool without figures; a pool with a face that has no row is left to the
    // exact comparison.
    QHash<QUuid, std::vector<int>> members;
    QSet<QUuid> withoutRows;
    for (const VeskFaceRecord& face : faces) {
        if (!face.clusterID || face.featureVector.isEmpty() || state.best.contains(*face.clusterID))
            continue;
        const int slot = state.entries.value(face.id).slot;
        if (slot < 0)
            withoutRows.insert(*face.clusterID);
        else
            members[*face.clusterID].push_back(slot);
    }
    for (const QUuid& pool : std::as_const(withoutRows))
        members.remove(pool);
    if (members.isEmpty())
        return;

    // All their rows in one matrix, pool after pool.
    struct Range {
        QUuid pool;
        qsizetype begin;
        qsizetype end;
    };
    std::vector<Range> ranges;
    std::vector<int> memberSlots;
    for (auto pool = members.cbegin(); pool != members.cend(); ++pool) {
        ranges.push_back({pool.key(), qsizetype(memberSlots.size()), qsizetype(memberSlots.size() + pool->size())});
        memberSlots.insert(memberSlots.end(), pool->begin(), pool->end());
    }
    const std::vector<float> memberRows = state.gather(memberSlots);
    for (const Range& range : ranges)
        state.best.insert(range.pool, std::vector<float>(size_t(state.capacity), kNoSimilarity));
    std::vector<float*> figures;
    for (const Range& range : ranges)
        figures.push_back(state.best[range.pool].data());

    const qsizetype total = qsizetype(memberSlots.size());
    const qsizetype length = state.length;
    nn::parallelFor(state.capacity, 32, [&](int64_t begin, int64_t end) {
        std::vector<float> products(size_t((end - begin) * total));
        nn::gemmTransposedB(state.rows.data() + begin * length, memberRows.data(), products.data(), end - begin,
                            length, total);
        for (int64_t i = begin; i < end; ++i) {
            const float* values = products.data() + (i - begin) * total;
            for (size_t r = 0; r < ranges.size(); ++r)
                figures[r][i] = *std::max_element(values + ranges[r].begin, values + ranges[r].end);
        }
    });
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
    if (poolFaces.empty() || limit <= 0)
        return {};
    const QUuid representative = faces[poolFaces.front()].id;
    QSet<QUuid> rejected;
    for (const VeskFaceRejectionRecord& rejection : rejections) {
        if (rejection.clusterID == pool.id)
            rejected.insert(rejection.faceID);
    }

    synchronise(faces);
    State& state = *m_state;
    // The float figures stand for the pool only when every pool face has a row.
    std::vector<int> poolSlots;
    for (qsizetype i : poolFaces)
        poolSlots.push_back(state.slotAt[size_t(i)]);
    const bool fast = std::none_of(poolSlots.begin(), poolSlots.end(), [](int slot) { return slot < 0; });
    const std::vector<float>* floats = nullptr;
    if (fast) {
        // The window asks for every person in turn: all pools without figures are worked out in
        // one pass, which multiplies far faster than one small pool at a time.
        if (!state.best.contains(pool.id))
            figureMissingPools(faces);
        floats = &*state.best.find(pool.id);
    }

    const auto exactBest = [&](const VeskFaceRecord& candidate) {
        double best = -1.0;
        for (qsizetype i : poolFaces) {
            const QList<double>& print = faces[i].featureVector;
            if (print.size() != candidate.featureVector.size())
                continue;
            const double similarity = faceSimilarity(candidate.featureVector, print);
            if (similarity >= best)
                best = similarity;
        }
        return best;
    };

    // The float similarity differs from the exact one by less than this: the rounding of a dot
    // product of `length` terms of unit vectors and of scaling them, with a margin of two.
    const double tolerance = double(state.length + 16) * std::ldexp(1.0, -23);
    struct Candidate {
        qsizetype index;
        double figure;
        bool exact;
    };
    std::vector<Candidate> candidates;
    for (qsizetype c = 0; c < faces.size(); ++c) {
        const VeskFaceRecord& candidate = faces[c];
        if (candidate.clusterID || candidate.featureVector.isEmpty() || ignored.contains(candidate.id)
            || rejected.contains(candidate.id))
            continue;
        const int slot = floats ? state.slotAt[size_t(c)] : -1;
        if (slot >= 0) {
            const double figure = (*floats)[size_t(slot)];
            if (figure + tolerance >= minimum)
                candidates.push_back({c, figure, false});
        } else {
            const double best = exactBest(candidate);
            if (best >= minimum)
                candidates.push_back({c, best, true});
        }
    }
    // Candidates whose figure is clearly below that of `limit` others cannot be among the answer.
    if (qsizetype(candidates.size()) > limit) {
        std::vector<double> figures;
        for (const Candidate& candidate : candidates)
            figures.push_back(candidate.figure);
        std::nth_element(figures.begin(), figures.begin() + (limit - 1), figures.end(), std::greater<double>());
        const double cutoff = figures[size_t(limit - 1)] - 2 * tolerance;
        std::erase_if(candidates, [&](const Candidate& candidate) { return candidate.figure < cutoff; });
    }

    QList<VeskFaceSuggestion> found;
    for (const Candidate& candidate : candidates) {
        const VeskFaceRecord& face = faces[candidate.index];
        const double similarity = candidate.exact ? candidate.figure : exactBest(face);
        if (similarity >= minimum) {
            found.append(VeskFaceSuggestion{uuidString(pool.id) + QLatin1Char('-') + uuidString(face.id), face.id,
                                            pool.id, poolName, representative, similarity});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const VeskFaceSuggestion& a, const VeskFaceSuggestion& b) {
        return a.similarity > b.similarity;
    });
    if (found.size() > limit)
        found.resize(limit);
    return found;
}

} // namespace vesk
