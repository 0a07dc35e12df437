#include "search/DeepSearch.h"

#include "platform/ParallelWork.h"
#include "search/Ranking.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace vesk {

namespace {

constexpr double kPriorUsageWeight = 0.72;
constexpr double kPriorRecencyWeight = 0.28;
constexpr double kRecentUseThreshold = 0.8;
constexpr int kAnchorCount = 4;
constexpr double kAnchorScale = 18.0;
constexpr double kTokenWeight = 1.25;
constexpr double kVectorFloor = 0.36;
constexpr double kVectorWeight = 1.5;
constexpr double kAssociationCap = 2.2;
constexpr double kAssociationReasonThreshold = 0.55;
constexpr int kPublishedReasons = 6;

// A member of the candidate set.
struct Candidate {
    qsizetype index = 0; // in the items list
    double lexical = 0.0;
    std::optional<double> semantic;
    std::optional<double> final;
    double usage = 0.0;
    qint64 createdAtMs = 0;
    std::optional<SemanticVectors::Slot> vectorSlot;
    bool vectorLooked = false;
    // The reason line this pass gives the item; written out only for the few that are shown.
    enum class Reason : quint8 { None, UsedRecently, Association, RelatedTo } reason = Reason::None;
    qsizetype relatedAnchor = -1; // in m_candidates
};

class Pass {
public:
    explicit Pass(const DeepSearchInput& input)
        : m_input(input), m_items(input.items), m_candidateOf(size_t(input.items.size()), -1),
          m_nowMs(rankingTime(input.now)) {}

    std::optional<DeepSearchResult> run();

private:
    bool cancelled(DeepSearchCheckpoint checkpoint) const
    {
        if (m_input.onCheckpoint)
            m_input.onCheckpoint(checkpoint);
        return m_input.token.isCancelled();
    }

    double usageOf(qsizetype index) const
    {
        return m_input.usageScores.isEmpty() ? 0.0 : m_input.usageScores.value(m_items[index].id, 0.0);
    }

    Candidate& addCandidate(qsizetype index)
    {
        qint32& position = m_candidateOf[size_t(index)];
        if (position < 0) {
            position = qint32(m_candidates.size());
            Candidate candidate;
            candidate.index = index;
            candidate.usage = usageOf(index);
            candidate.createdAtMs = rankingTime(m_items[index].createdAt);
            m_candidates.push_back(candidate);
        }
        return m_candidates[size_t(position)];
    }

    const std::optional<SemanticVectors::Slot>& vectorSlot(Candidate& candidate) const
    {
        if (!candidate.vectorLooked) {
            candidate.vectorLooked = true;
            candidate.vectorSlot = m_input.vectors.slotOf(m_items[candidate.index].id);
        }
        return candidate.vectorSlot;
    }

    void collectCandidates();
    // Whether the query vector can be compared with anything.
    bool prepareQuery();
    std::optional<double> cosineWithQuery(SemanticVectors::Slot slot) const;
    // The fallback: every kept vector compared with the query.
    bool scanVectors();
    bool scoreByMeaning();
    void scoreFinal();
    QList<qsizetype> chooseAnchors() const;
    std::optional<double> cosineBetween(Candidate& a, Candidate& b) const;

    const DeepSearchInput& m_input;
    const QList<VeskItem>& m_items;
    // Position in m_candidates of each item of the library, -1 for none.
    std::vector<qint32> m_candidateOf;
    // The candidate set, in the order its members joined.
    std::vector<Candidate> m_candidates;
    // Whether every item is compared with the query (few lexical hits).
    bool m_fallback = false;
    bool m_comparable = false;
    double m_queryNorm = 0.0;
    // What the fallback found close to the query, by item; a filter on the identifiers' first
    // bits spares the walk over the library a hash look-up for most items.
    struct Close {
        SemanticVectors::Slot slot;
        double score;
    };
    static constexpr quint32 kCloseFilterMask = (1u << 16) - 1;
    QHash<QUuid, Close> m_closeByID;
    std::vector<bool> m_closeFilter;
    qint64 m_nowMs;
};

void Pass::collectCandidates()
{
    const LexicalSnapshot& snapshot = m_input.snapshot;
    // The first ranked identifiers, the items of highest prior (use and age) and the items the
    // query is close to, found by one walk over the library in pieces on all cores: each piece
    // keeps what it found in library order, and the pieces are joined in order, so that the
    // result is that of one walk from the first item to the last.
    const qsizetype rankedCount = std::min<qsizetype>(snapshot.rankedIDs.size(), deepCandidateLimit);
    QHash<QUuid, qsizetype> rankedPosition;
    rankedPosition.reserve(rankedCount);
    for (qsizetype r = 0; r < rankedCount; ++r)
        rankedPosition.insert(snapshot.rankedIDs[r], r);
    // Only the first few priors are wanted, so each piece keeps them in a short list, best first
    // and ties in library order.
    struct Prior {
        double value;
        qsizetype index;
    };
    const auto keepPrior = [](std::vector<Prior>& best, Prior prior) {
        if (best.size() == size_t(deepSafetyCandidateCount) && !(prior.value > best.back().value))
            return;
        auto at = std::upper_bound(best.begin(), best.end(), prior.value,
            [](double value, const Prior& entry) { return value > entry.value; });
        best.insert(at, prior);
        if (best.size() > size_t(deepSafetyCandidateCount))
            best.pop_back();
    };
    struct Piece {
        std::vector<std::pair<qsizetype, qsizetype>> ranked; // (rank, index)
        std::vector<std::pair<qsizetype, Close>> close;
        std::vector<Prior> best;
    };
    constexpr size_t kPiece = 8192;
    const size_t itemCount = size_t(m_items.size());
    std::vector<Piece> pieces((itemCount + kPiece - 1) / kPiece);
    forEachInParallel(pieces.size(), [&](size_t p) {
        Piece& piece = pieces[p];
        piece.best.reserve(deepSafetyCandidateCount + 1);
        const size_t end = std::min(itemCount, (p + 1) * kPiece);
        for (size_t at = p * kPiece; at < end; ++at) {
            const auto i = qsizetype(at);
            const VeskItem& item = m_items[i];
            if (!rankedPosition.isEmpty()) {
                if (const auto r = rankedPosition.constFind(item.id); r != rankedPosition.cend())
                    piece.ranked.emplace_back(*r, i);
            }
            if (!m_closeByID.isEmpty() && m_closeFilter[item.id.data1 & kCloseFilterMask]) {
                if (const auto found = m_closeByID.constFind(item.id); found != m_closeByID.cend())
                    piece.close.emplace_back(i, *found);
            }
            keepPrior(piece.best, {usageOf(i) * kPriorUsageWeight
                    + kPriorRecencyWeight * recencyFactor(rankingTime(item.createdAt), m_nowMs), i});
        }
    });

    std::vector<qsizetype> rankedIndex(size_t(rankedCount), -1);
    std::vector<Prior> best;
    best.reserve(deepSafetyCandidateCount + 1);
    for (const Piece& piece : pieces) {
        for (const auto& [rank, index] : piece.ranked) {
            if (rankedIndex[size_t(rank)] < 0)
                rankedIndex[size_t(rank)] = index;
        }
        for (const Prior& prior : piece.best)
            keepPrior(best, prior);
    }
    for (const qsizetype index : rankedIndex) {
        if (index >= 0)
            addCandidate(index);
    }
    for (const Prior& prior : best)
        addCandidate(prior.index);
    // Those close enough join the candidate set, in library order; an identifier listed twice
    // joins once.
    for (const Piece& piece : pieces) {
        for (const auto& [index, found] : piece.close) {
            if (!m_closeByID.remove(m_items[index].id))
                continue;
            Candidate& candidate = addCandidate(index);
            candidate.semantic = found.score;
            candidate.vectorSlot = found.slot;
            candidate.vectorLooked = true;
        }
    }
}

bool Pass::prepareQuery()
{
    if (!m_input.queryVector)
        return false;
    const QList<double>& query = *m_input.queryVector;
    const double querySquares = sumOfSquares(query);
    m_queryNorm = std::sqrt(querySquares);
    return !query.isEmpty() && querySquares > 0.0;
}

std::optional<double> Pass::cosineWithQuery(SemanticVectors::Slot slot) const
{
    const QList<double>& query = *m_input.queryVector;
    const double rowSquares = m_input.vectors.rowSumOfSquares(slot);
    if (m_input.vectors.rowLength(slot) != size_t(query.size()) || !(rowSquares > 0.0))
        return std::nullopt;
    return m_input.vectors.rowDot(std::span<const double>(query.constData(), size_t(query.size())), slot)
        / (m_queryNorm * std::sqrt(rowSquares));
}

bool Pass::scanVectors()
{
    if (cancelled(DeepSearchCheckpoint::BeforeSemanticScore))
        return false;
    // Every kept vector is compared with the query, in the order the vectors are kept and on all
    // cores: looking each item's vector up by its identifier would cost more than the comparison.
    const SemanticVectors& vectors = m_input.vectors;
    const size_t slotCount = vectors.slotCount();
    constexpr size_t kChunk = 1024;
    std::vector<std::vector<std::pair<SemanticVectors::Slot, double>>> found((slotCount + kChunk - 1) / kChunk);
    forEachInParallel(found.size(), [&](size_t c) {
        if (m_input.token.isCancelled())
            return;
        const auto last = SemanticVectors::Slot(std::min(slotCount, (c + 1) * kChunk));
        for (auto slot = SemanticVectors::Slot(c * kChunk); slot < last; ++slot) {
            if (vectors.idAt(slot).isNull())
                continue;
            if (const auto cosine = cosineWithQuery(slot)) {
                if (const auto score = semanticScore(*cosine))
                    found[c].emplace_back(slot, *score);
            }
        }
    });
    if (cancelled(DeepSearchCheckpoint::BeforeSemanticScore))
        return false;
    m_closeFilter.assign(kCloseFilterMask + 1, false);
    for (const auto& chunk : found) {
        for (const auto& [slot, score] : chunk) {
            const QUuid& id = vectors.idAt(slot);
            m_closeByID.insert(id, Close{slot, score});
            m_closeFilter[id.data1 & kCloseFilterMask] = true;
        }
    }
    return true;
}

bool Pass::scoreByMeaning()
{
    // The fallback scored every item in scanVectors.
    if (m_fallback || !m_input.queryVector)
        return true;
    for (Candidate& candidate : m_candidates) {
        if (cancelled(DeepSearchCheckpoint::BeforeSemanticScore))
            return false;
        if (!m_comparable)
            continue;
        if (const auto& slot = vectorSlot(candidate)) {
            if (const auto cosine = cosineWithQuery(*slot))
                candidate.semantic = semanticScore(*cosine);
        }
    }
    return true;
}

void Pass::scoreFinal()
{
    for (Candidate& candidate : m_candidates) {
        const QUuid& id = m_items[candidate.index].id;
        candidate.lexical = m_input.snapshot.scores.value(id, 0.0);
        const double semantic = candidate.semantic.value_or(0.0);
        if (!(candidate.lexical > 0.0) && !(semantic > 0.0))
            continue;
        candidate.final = resultScore(candidate.lexical, semantic, candidate.createdAtMs, m_nowMs, candidate.usage);
        if (candidate.lexical == 0.0 && semantic > 0.0 && !m_input.snapshot.hints.contains(id)) {
            candidate.reason = candidate.usage >= kRecentUseThreshold ? Candidate::Reason::UsedRecently
                                                                      : Candidate::Reason::Association;
        }
    }
}

QList<qsizetype> Pass::chooseAnchors() const
{
    std::vector<qsizetype> scored;
    for (size_t c = 0; c < m_candidates.size(); ++c) {
        if (m_candidates[c].final.value_or(0.0) > 0.0)
            scored.push_back(qsizetype(c));
    }
    const size_t count = std::min<size_t>(scored.size(), kAnchorCount);
    std::partial_sort(scored.begin(), scored.begin() + ptrdiff_t(count), scored.end(),
        [this](qsizetype a, qsizetype b) {
            return *m_candidates[size_t(a)].final > *m_candidates[size_t(b)].final;
        });
    return QList<qsizetype>(scored.begin(), scored.begin() + ptrdiff_t(count));
}

std::optional<double> Pass::cosineBetween(Candidate& a, Candidate& b) const
{
    const auto slotA = vectorSlot(a);
    const auto slotB = vectorSlot(b);
    if (!slotA || !slotB)
        return std::nullopt;
    const size_t length = m_input.vectors.rowLength(*slotA);
    const double squaresA = m_input.vectors.rowSumOfSquares(*slotA);
    const double squaresB = m_input.vectors.rowSumOfSquares(*slotB);
    if (length == 0 || length != m_input.vectors.rowLength(*slotB) || !(squaresA > 0.0) || !(squaresB > 0.0))
        return 0.0;
    return m_input.vectors.rowDot(*slotA, *slotB) / (std::sqrt(squaresA) * std::sqrt(squaresB));
}

std::optional<DeepSearchResult> Pass::run()
{
    if (cancelled(DeepSearchCheckpoint::AfterQueryEmbedding))
        return std::nullopt;
    m_fallback = m_input.snapshot.rankedIDs.size() < deepSemanticFallbackThreshold;
    m_comparable = prepareQuery();
    if (m_fallback && m_comparable && !scanVectors())
        return std::nullopt;
    collectCandidates();
    if (!scoreByMeaning())
        return std::nullopt;
    if (cancelled(DeepSearchCheckpoint::AfterSemanticScores))
        return std::nullopt;
    scoreFinal();

    const QList<qsizetype> anchors = chooseAnchors();
    QList<QUuid> anchorIDs;
    for (const qsizetype anchor : anchors)
        anchorIDs.append(m_items[m_candidates[size_t(anchor)].index].id);
    const std::unique_ptr<AnchorOverlaps> overlapsWithAnchors =
        m_input.compareWithAnchors && !anchors.isEmpty() ? m_input.compareWithAnchors(anchorIDs) : nullptr;
    // Each scored candidate is compared with the anchors on all cores (a fallback over a large
    // library scores thousands); the anchors' vectors are looked up first, since the comparisons
    // read them from every thread.
    for (const qsizetype anchor : anchors)
        (void)vectorSlot(m_candidates[size_t(anchor)]);
    struct Association {
        double best = 0.0;
        qsizetype anchor = -1;
    };
    std::vector<Association> associations(m_candidates.size());
    constexpr size_t kPiece = 64;
    const size_t anchorCount = size_t(anchors.size());
    forEachInParallel((m_candidates.size() + kPiece - 1) / kPiece, [&](size_t p) {
        if (m_input.token.isCancelled())
            return;
        // The piece's scored candidates are compared with the anchors' tokens in one call.
        const size_t begin = p * kPiece;
        const size_t end = std::min(m_candidates.size(), (p + 1) * kPiece);
        std::array<QUuid, kPiece> scoredIDs;
        std::array<size_t, kPiece> scored{};
        size_t scoredCount = 0;
        for (size_t c = begin; c < end; ++c) {
            if (m_candidates[c].final) {
                scoredIDs[scoredCount] = m_items[m_candidates[c].index].id;
                scored[scoredCount++] = c;
            }
        }
        std::array<double, kPiece * kAnchorCount> pieceOverlaps{};
        if (overlapsWithAnchors && scoredCount > 0) {
            overlapsWithAnchors->overlapsOfEach(std::span<const QUuid>(scoredIDs.data(), scoredCount), anchorCount,
                std::span<double>(pieceOverlaps.data(), scoredCount * anchorCount));
        }
        for (size_t s = 0; s < scoredCount; ++s) {
            const size_t c = scored[s];
            Candidate& candidate = m_candidates[c];
            const double* const overlaps = pieceOverlaps.data() + s * anchorCount;
            Association& association = associations[c];
            for (qsizetype k = 0; k < anchors.size(); ++k) {
                Candidate& anchor = m_candidates[size_t(anchors[k])];
                if (&anchor == &candidate)
                    continue;
                const double overlap = overlaps[k];
                const std::optional<double> cosine = cosineBetween(anchor, candidate);
                const bool closeVector = cosine && *cosine >= kVectorFloor;
                if (overlap == 0.0 && !closeVector)
                    continue;
                const double weight = std::min(1.0, *anchor.final / kAnchorScale);
                const double vectorTerm = closeVector ? *cosine * kVectorWeight : 0.0;
                const double value = (overlap * kTokenWeight + vectorTerm) * weight;
                if (value > association.best) {
                    association.best = value;
                    association.anchor = anchors[k];
                }
            }
        }
    });

    struct Result {
        qsizetype candidate;
        double score;
    };
    std::vector<Result> results;
    for (size_t c = 0; c < m_candidates.size(); ++c) {
        Candidate& candidate = m_candidates[c];
        if (!candidate.final)
            continue;
        if (cancelled(DeepSearchCheckpoint::BeforeAssociation))
            return std::nullopt;
        const auto [best, bestAnchor] = associations[c];
        if (candidate.lexical == 0.0 && best >= kAssociationReasonThreshold && bestAnchor >= 0) {
            candidate.reason = Candidate::Reason::RelatedTo;
            candidate.relatedAnchor = bestAnchor;
        }
        results.push_back({qsizetype(c), *candidate.final + std::min(best, kAssociationCap)});
    }

    std::stable_sort(results.begin(), results.end(), [this](const Result& a, const Result& b) {
        return rankedBefore(a.score, m_candidates[size_t(a.candidate)].createdAtMs, b.score,
            m_candidates[size_t(b.candidate)].createdAtMs);
    });
    if (cancelled(DeepSearchCheckpoint::AfterSorting))
        return std::nullopt;

    DeepSearchResult published;
    published.items.reserve(qsizetype(results.size()));
    published.scores.reserve(qsizetype(results.size()));
    for (size_t r = 0; r < results.size(); ++r) {
        const Candidate& candidate = m_candidates[size_t(results[r].candidate)];
        const VeskItem& item = m_items[candidate.index];
        published.items.append(item);
        published.scores.append(results[r].score);
        if (r >= size_t(kPublishedReasons))
            continue;
        switch (candidate.reason) {
        case Candidate::Reason::UsedRecently:
            published.hints.insert(item.id, QStringLiteral("You used this recently"));
            break;
        case Candidate::Reason::Association:
            published.hints.insert(item.id, QStringLiteral("Matched by association"));
            break;
        case Candidate::Reason::RelatedTo:
            published.hints.insert(item.id,
                QStringLiteral("Related to ") + m_items[m_candidates[size_t(candidate.relatedAnchor)].index].title);
            break;
        case Candidate::Reason::None:
            if (const auto hint = m_input.snapshot.hints.constFind(item.id); hint != m_input.snapshot.hints.cend())
                published.hints.insert(item.id, *hint);
            break;
        }
    }
    return published;
}

} // namespace

std::optional<DeepSearchResult> runDeepSearch(const DeepSearchInput& input)
{
    return Pass(input).run();
}

} // namespace vesk
