#include "search/DeepSearch.h"

#include "search/Ranking.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vesk {

namespace {

constexpr double kPriorUsageWeight = 0.72;
constexpr double kPriorRecencyWeight = 0.28;
constexpr double kUsageWeight = 0.9;
constexpr double kRecentUseThreshold = 0.8;
constexpr int kAnchorCount = 4;
constexpr double kAnchorScale = 18.0;
constexpr double kTokenWeight = 1.25;
constexpr double kVectorFloor = 0.36;
constexpr double kVectorWeight = 1.5;
constexpr double kAssociationCap = 2.2;
constexpr double kAssociationReasonThreshold = 0.55;
constexpr int kPublishedReasons = 6;

// Per item of the library, by its position in the items list.
struct Working {
    double lexical = 0.0;
    std::optional<double> semantic;
    std::optional<double> final;
    double usage = 0.0;
    qint64 createdAtMs = 0;
    std::optional<SemanticVectors::Slot> vectorSlot;
    bool vectorLooked = false;
    bool inCandidates = false;
};

class Pass {
public:
    explicit Pass(const DeepSearchInput& input)
        : m_input(input), m_items(input.items), m_working(size_t(input.items.size())) {}

    std::optional<DeepSearchResult> run();

private:
    bool cancelled(DeepSearchCheckpoint checkpoint) const
    {
        if (m_input.onCheckpoint)
            m_input.onCheckpoint(checkpoint);
        return m_input.token.isCancelled();
    }

    void addCandidate(qsizetype index)
    {
        Working& working = m_working[size_t(index)];
        if (!working.inCandidates) {
            working.inCandidates = true;
            m_candidates.push_back(index);
        }
    }

    const std::optional<SemanticVectors::Slot>& vectorSlot(qsizetype index)
    {
        Working& working = m_working[size_t(index)];
        if (!working.vectorLooked) {
            working.vectorLooked = true;
            working.vectorSlot = m_input.vectors.slotOf(m_items[index].id);
        }
        return working.vectorSlot;
    }

    void collectCandidates();
    bool scoreByMeaning();
    void scoreFinal();
    std::vector<qsizetype> chooseAnchors() const;
    std::optional<double> itemCosine(qsizetype a, qsizetype b);

    const DeepSearchInput& m_input;
    const QList<VeskItem>& m_items;
    std::vector<Working> m_working;
    // Positions of the candidate set's members, in the order they joined it.
    std::vector<qsizetype> m_candidates;
    // The items compared with the query.
    std::vector<qsizetype> m_compared;
    QHash<QUuid, QString> m_hints;
};

void Pass::collectCandidates()
{
    const LexicalSnapshot& snapshot = m_input.snapshot;
    const qint64 nowMs = rankingTime(m_input.now);
    const bool anyUsage = !m_input.usageScores.isEmpty();
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        Working& working = m_working[size_t(i)];
        working.createdAtMs = rankingTime(m_items[i].createdAt);
        if (anyUsage)
            working.usage = m_input.usageScores.value(m_items[i].id, 0.0);
    }

    // The first ranked identifiers, found by one walk over the items.
    QHash<QUuid, qsizetype> rankedPosition;
    const qsizetype rankedCount = std::min<qsizetype>(snapshot.rankedIDs.size(), deepCandidateLimit);
    rankedPosition.reserve(rankedCount);
    for (qsizetype r = 0; r < rankedCount; ++r)
        rankedPosition.insert(snapshot.rankedIDs[r], r);
    std::vector<qsizetype> rankedIndex(size_t(rankedCount), -1);
    for (qsizetype i = 0; i < m_items.size() && !rankedPosition.isEmpty(); ++i) {
        if (const auto r = rankedPosition.constFind(m_items[i].id); r != rankedPosition.cend()
            && rankedIndex[size_t(*r)] < 0)
            rankedIndex[size_t(*r)] = i;
    }
    for (const qsizetype index : rankedIndex) {
        if (index >= 0)
            addCandidate(index);
    }

    // The items of highest prior (use and age), ties in library order; only the first few are
    // wanted, so they are picked rather than the whole library sorted.
    std::vector<std::pair<double, qsizetype>> priors;
    priors.reserve(size_t(m_items.size()));
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const Working& working = m_working[size_t(i)];
        priors.emplace_back(working.usage * kPriorUsageWeight
                + kPriorRecencyWeight * recencyFactor(working.createdAtMs, nowMs),
            i);
    }
    const size_t safety = std::min<size_t>(priors.size(), deepSafetyCandidateCount);
    std::partial_sort(priors.begin(), priors.begin() + ptrdiff_t(safety), priors.end(),
        [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
    for (size_t k = 0; k < safety; ++k)
        addCandidate(priors[k].second);

    if (snapshot.rankedIDs.size() >= deepSemanticFallbackThreshold) {
        m_compared = m_candidates;
    } else {
        // Few words matched: every item is compared by meaning, in library order.
        m_compared.resize(size_t(m_items.size()));
        for (qsizetype i = 0; i < m_items.size(); ++i)
            m_compared[size_t(i)] = i;
    }
}

bool Pass::scoreByMeaning()
{
    if (!m_input.queryVector)
        return true;
    const QList<double>& query = *m_input.queryVector;
    const double querySquares = sumOfSquares(query);
    const bool comparable = !query.isEmpty() && querySquares > 0.0;
    const double queryNorm = std::sqrt(querySquares);
    for (const qsizetype index : m_compared) {
        if (cancelled(DeepSearchCheckpoint::BeforeSemanticScore))
            return false;
        if (!comparable)
            continue;
        const auto& slot = vectorSlot(index);
        if (!slot)
            continue;
        const std::span<const float> row = m_input.vectors.row(*slot);
        const double rowSquares = m_input.vectors.rowSumOfSquares(*slot);
        if (row.size() != size_t(query.size()) || !(rowSquares > 0.0))
            continue;
        const double cosine = dotProduct(query, row) / (queryNorm * std::sqrt(rowSquares));
        if (const auto score = semanticScore(cosine)) {
            m_working[size_t(index)].semantic = *score;
            addCandidate(index);
        }
    }
    return true;
}

void Pass::scoreFinal()
{
    const qint64 nowMs = rankingTime(m_input.now);
    for (const qsizetype index : m_candidates) {
        Working& working = m_working[size_t(index)];
        working.lexical = m_input.snapshot.scores.value(m_items[index].id, 0.0);
        const double lexical = working.lexical;
        const double semantic = working.semantic.value_or(0.0);
        if (!(lexical > 0.0) && !(semantic > 0.0))
            continue;
        working.final = lexical + semantic + recencyBonus(working.createdAtMs, nowMs)
            + working.usage * kUsageWeight;
        const QUuid& id = m_items[index].id;
        if (lexical == 0.0 && semantic > 0.0 && !m_hints.contains(id)) {
            m_hints.insert(id, working.usage >= kRecentUseThreshold
                    ? QStringLiteral("You used this recently")
                    : QStringLiteral("Matched by association"));
        }
    }
}

std::vector<qsizetype> Pass::chooseAnchors() const
{
    std::vector<qsizetype> scored;
    for (const qsizetype index : m_candidates) {
        if (m_working[size_t(index)].final.value_or(0.0) > 0.0)
            scored.push_back(index);
    }
    const size_t count = std::min<size_t>(scored.size(), kAnchorCount);
    std::partial_sort(scored.begin(), scored.begin() + ptrdiff_t(count), scored.end(),
        [this](qsizetype a, qsizetype b) { return *m_working[size_t(a)].final > *m_working[size_t(b)].final; });
    scored.resize(count);
    return scored;
}

std::optional<double> Pass::itemCosine(qsizetype a, qsizetype b)
{
    const auto slotA = vectorSlot(a);
    const auto& slotB = vectorSlot(b);
    if (!slotA || !slotB)
        return std::nullopt;
    const std::span<const float> rowA = m_input.vectors.row(*slotA);
    const std::span<const float> rowB = m_input.vectors.row(*slotB);
    const double squaresA = m_input.vectors.rowSumOfSquares(*slotA);
    const double squaresB = m_input.vectors.rowSumOfSquares(*slotB);
    if (rowA.empty() || rowA.size() != rowB.size() || !(squaresA > 0.0) || !(squaresB > 0.0))
        return 0.0;
    return dotProduct(rowA, rowB) / (std::sqrt(squaresA) * std::sqrt(squaresB));
}

std::optional<DeepSearchResult> Pass::run()
{
    if (cancelled(DeepSearchCheckpoint::AfterQueryEmbedding))
        return std::nullopt;
    m_hints = m_input.snapshot.hints;
    collectCandidates();
    if (!scoreByMeaning())
        return std::nullopt;
    if (cancelled(DeepSearchCheckpoint::AfterSemanticScores))
        return std::nullopt;
    scoreFinal();
    const std::vector<qsizetype> anchors = chooseAnchors();

    struct Result {
        qsizetype index;
        double score;
    };
    std::vector<Result> results;
    for (const qsizetype index : m_candidates) {
        const Working& working = m_working[size_t(index)];
        if (!working.final)
            continue;
        if (cancelled(DeepSearchCheckpoint::BeforeAssociation))
            return std::nullopt;
        double best = 0.0;
        const QString* bestTitle = nullptr;
        for (const qsizetype anchor : anchors) {
            if (anchor == index)
                continue;
            const double overlap = m_input.associationOverlap
                ? m_input.associationOverlap(m_items[anchor].id, m_items[index].id)
                : 0.0;
            const std::optional<double> cosine = itemCosine(anchor, index);
            const bool closeVector = cosine && *cosine >= kVectorFloor;
            if (overlap == 0.0 && !closeVector)
                continue;
            const double weight = std::min(1.0, *m_working[size_t(anchor)].final / kAnchorScale);
            const double vectorTerm = closeVector ? *cosine * kVectorWeight : 0.0;
            const double association = (overlap * kTokenWeight + vectorTerm) * weight;
            if (association > best) {
                best = association;
                bestTitle = &m_items[anchor].title;
            }
        }
        if (working.lexical == 0.0 && best >= kAssociationReasonThreshold && bestTitle)
            m_hints.insert(m_items[index].id, QStringLiteral("Related to ") + *bestTitle);
        results.push_back({index, *working.final + std::min(best, kAssociationCap)});
    }

    std::stable_sort(results.begin(), results.end(), [this](const Result& a, const Result& b) {
        return rankedBefore(a.score, m_working[size_t(a.index)].createdAtMs, b.score,
            m_working[size_t(b.index)].createdAtMs);
    });
    if (cancelled(DeepSearchCheckpoint::AfterSorting))
        return std::nullopt;

    DeepSearchResult published;
    published.items.reserve(qsizetype(results.size()));
    published.scores.reserve(qsizetype(results.size()));
    for (size_t r = 0; r < results.size(); ++r) {
        const VeskItem& item = m_items[results[r].index];
        published.items.append(item);
        published.scores.append(results[r].score);
        if (r < size_t(kPublishedReasons)) {
            if (const auto hint = m_hints.constFind(item.id); hint != m_hints.cend())
                published.hints.insert(item.id, *hint);
        }
    }
    return published;
}

} // namespace

std::optional<double> semanticScore(double cosine)
{
    if (cosine >= 0.46)
        return cosine * 15.0;
    if (cosine >= 0.32)
        return cosine * 9.0;
    if (cosine >= 0.24)
        return cosine * 4.5;
    return std::nullopt;
}

std::optional<DeepSearchResult> runDeepSearch(const DeepSearchInput& input)
{
    return Pass(input).run();
}

} // namespace vesk
