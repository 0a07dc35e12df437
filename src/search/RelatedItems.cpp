#include "search/RelatedItems.h"

#include "search/SearchIndex.h"
#include "search/SearchText.h"

#include <algorithm>
#include <vector>

namespace vesk {

namespace {

// Counts what std::set_intersection would write.
struct CountingOutput {
    qsizetype* count;
    CountingOutput& operator*() { return *this; }
    CountingOutput& operator++() { return *this; }
    CountingOutput operator++(int) { return *this; }
    CountingOutput& operator=(quint32)
    {
        ++*count;
        return *this;
    }
};

// Tokens in both sorted id lists.
qsizetype sharedCount(const std::vector<quint32>& a, const std::vector<quint32>& b)
{
    qsizetype shared = 0;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), CountingOutput{&shared});
    return shared;
}

// Closeness of two items' creation in time.
double timeGapBonus(const QDateTime& a, const QDateTime& b)
{
    const qint64 gap = std::abs(a.secsTo(b));
    if (gap < 86'400)
        return 1.0;
    if (gap < 604'800)
        return 0.35;
    return 0.0;
}

// Recency of the other item, by its age.
double recencyOf(const QDateTime& createdAt, const QDateTime& now)
{
    const qint64 age = createdAt.secsTo(now);
    if (age < 86'400)
        return 0.45;
    if (age < 604'800)
        return 0.333;
    if (age < 2'592'000)
        return 0.216;
    if (age < 10'368'000)
        return 0.108;
    return 0.036;
}

} // namespace

QList<QUuid> rankRelatedItems(const VeskItem& item, const QList<VeskItem>& items, const SearchIndex& index,
    const RelatedItemsSignals& signalSources)
{
    if (items.size() < 2)
        return {};
    static const std::vector<quint32> none;
    const auto associationOf = [&index](const QUuid& id) -> const std::vector<quint32>& {
        const auto slot = index.slotOf(id);
        return slot ? index.entry(*slot).association : none;
    };
    const std::vector<quint32>& own = associationOf(item.id);
    const QSet<QString> titleWords = extractTokens(item.title);

    struct Ranked {
        const VeskItem* item;
        double score;
    };
    std::vector<Ranked> ranked;
    for (const VeskItem& other : items) {
        if (other.id == item.id)
            continue;
        const std::vector<quint32>& theirs = associationOf(other.id);
        const qsizetype shared = sharedCount(own, theirs);
        qsizetype titleShared = 0;
        if (!titleWords.isEmpty()) {
            const QSet<QString> otherTitleWords = extractTokens(other.title);
            for (const QString& word : otherTitleWords)
                titleShared += titleWords.contains(word) ? 1 : 0;
        }
        double score = double(shared) * 8.0 + double(titleShared) * 5.0;
        if (shared > 0) {
            const size_t smaller = std::max<size_t>(1, std::min(own.size(), theirs.size()));
            score += double(shared) / double(smaller) * 10.0;
        }
        if (signalSources.vectorCosine) {
            if (const auto cosine = signalSources.vectorCosine(other.id); cosine && *cosine >= 0.34)
                score += *cosine * 18.0;
        }
        if (score == 0.0)
            continue;
        score += timeGapBonus(item.createdAt, other.createdAt);
        score += recencyOf(other.createdAt, signalSources.now);
        if (signalSources.usageScore)
            score += signalSources.usageScore(other.id) * 0.7;
        ranked.push_back({&other, score});
    }

    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.score != b.score)
            return a.score > b.score;
        return a.item->createdAt > b.item->createdAt;
    });
    QList<QUuid> ids;
    ids.reserve(qsizetype(ranked.size()));
    for (const Ranked& entry : ranked)
        ids.append(entry.item->id);
    return ids;
}

} // namespace vesk
