#pragma once

#include "platform/CancellationToken.h"
#include "search/LexicalMatch.h"
#include "search/Ranking.h"
#include "search/SemanticVectors.h"
#include "model/VeskItem.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace vesk {

// The points at which a deep search looks whether it has been cancelled.
enum class DeepSearchCheckpoint {
    AfterQueryEmbedding,
    BeforeSemanticScore, // before each candidate is compared with the query
    AfterSemanticScores,
    BeforeAssociation,   // before each scored item is compared with the anchors
    AfterSorting,
};

// The share of association tokens that items have in common with each of a few anchors.
class AnchorOverlaps {
public:
    virtual ~AnchorOverlaps() = default;
    // One value per anchor, in the anchors' order: the tokens in both sets over the size of the
    // smaller set (at least 1); 0 when either has none.
    virtual void overlaps(const QUuid& item, std::span<double> out) const = 0;
    // overlaps() of several items, out holding anchorCount values for each in turn. Comparing
    // many items at once lets an implementation fetch what the next ones read while it compares
    // one.
    virtual void overlapsOfEach(std::span<const QUuid> items, size_t anchorCount, std::span<double> out) const
    {
        for (size_t i = 0; i < items.size(); ++i)
            overlaps(items[i], out.subspan(i * anchorCount, anchorCount));
    }
};

// Everything one deep search reads. The references must outlive the call.
struct DeepSearchInput {
    const LexicalSnapshot& snapshot;
    // The query's vector; none when the query embedded to nothing.
    const std::optional<QList<double>>& queryVector;
    const QList<VeskItem>& items;
    const SemanticVectors& vectors;
    // Compares items with the anchors by their association tokens (see AnchorOverlaps).
    std::function<std::unique_ptr<AnchorOverlaps>(const QList<QUuid>& anchors)> compareWithAnchors;
    // Usage scores at `now` of the items that have one; absent means 0.
    const QHash<QUuid, double>& usageScores;
    QDateTime now;
    CancellationToken token;
    // Called at each checkpoint before the token is read (tests cancel from here).
    std::function<void(DeepSearchCheckpoint)> onCheckpoint;
};

// What a deep search publishes: the items in result order and the reason lines of the first six,
// with each item's score.
struct DeepSearchResult {
    QList<VeskItem> items;
    QList<double> scores;
    QHash<QUuid, QString> hints;
};

// The second search pass, over a query that has been embedded: scores a bounded set of
// candidates by meaning (every item when the lexical pass found fewer than 24 hits), adds the
// lexical score, the item's age and its use, lifts items that resemble the best four results and
// writes reason lines for items found only by meaning. Nothing when cancelled at a checkpoint.
std::optional<DeepSearchResult> runDeepSearch(const DeepSearchInput& input);

// The limits of the candidate set.
inline constexpr int deepCandidateLimit = 240;
inline constexpr int deepSafetyCandidateCount = 24;
inline constexpr int deepSemanticFallbackThreshold = 24;

} // namespace vesk
