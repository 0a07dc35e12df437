#pragma once

#include "model/VeskItem.h"
#include "platform/PackedIds.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vesk {

class SearchIndex;
class SemanticVectors;
namespace related {
class TitleWords;
class TokenMarks;
}

// What ranks the items that remind of one item, beside the library and its index.
struct RelatedItemsSignals {
    QDateTime now;
    // The cosine of the item's and the other item's sentence vectors; none when either has none.
    std::function<std::optional<double>(const QUuid& other)> vectorCosine;
    // 0..1: how much and how lately the other item was opened.
    std::function<double(const QUuid& other)> usageScore;
};

// Every other item of items that shares content words (the index's association tokens), title
// words or close meaning with item, best first: shared words weigh most, then meaning, then
// closeness in time of the two items, the other's recency and its use. Exactly equal scores put
// the newer item first. Items sharing nothing are left out.
QList<QUuid> rankRelatedItems(const VeskItem& item, const QList<VeskItem>& items, const SearchIndex& index,
    const RelatedItemsSignals& signalSources);

// The same ranking taken over the index's slots a range at a time, so that a worker can read the
// index in short turns between the main thread's changes. The item's own words and vector are
// read once, at the start.
class RelatedRanking {
public:
    // usage: the usage score of each item that has one.
    RelatedRanking(const VeskItem& item, const SearchIndex& index, const SemanticVectors& vectors,
        QHash<QUuid, double> usage, const QDateTime& now);
    ~RelatedRanking();
    RelatedRanking(const RelatedRanking&) = delete;
    RelatedRanking& operator=(const RelatedRanking&) = delete;

    // Scores the indexed items in slots [from, to) (as far as the index reaches).
    void scoreSlots(const SearchIndex& index, const SemanticVectors& vectors, quint32 from, quint32 to);
    // The scored items, best first, at most limit of them.
    QList<QUuid> best(qsizetype limit);

private:
    struct Ranked {
        QUuid id;
        qint64 createdAtMs;
        double score;
    };
    QUuid m_id;
    qint64 m_createdAtMs = 0;
    qint64 m_nowMs = 0;
    PackedIds m_association;
    std::unique_ptr<related::TokenMarks> m_marks;
    std::unique_ptr<related::TitleWords> m_titleWords;
    bool m_hasVector = false;
    QHash<QUuid, double> m_usage;
    std::vector<Ranked> m_ranked;
};

} // namespace vesk
