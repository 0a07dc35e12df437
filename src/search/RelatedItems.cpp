#include "search/RelatedItems.h"

#include "search/SearchIndex.h"
#include "search/SearchText.h"

#include <algorithm>
#include <vector>

namespace vesk {

namespace {

// The item's own tokens as marks by token id, so that another item's tokens are counted in one
// pass over them.
class TokenMarks {
public:
    explicit TokenMarks(const PackedIds& own)
    {
        own.forEach([this](quint32 id) {
            if (id >= m_marks.size())
                m_marks.resize(size_t(id) + 1, 0);
            m_marks[id] = 1;
        });
    }
    // How many of the sorted ids are marked.
    qsizetype sharedWith(const PackedIds& ids) const
    {
        qsizetype shared = 0;
        ids.forEachWhile([&](quint32 id) {
            if (id >= m_marks.size())
                return false;
            shared += m_marks[id];
            return true;
        });
        return shared;
    }

private:
    std::vector<quint8> m_marks;
};

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
    static const PackedIds none;
    const auto associationOf = [&index](const QUuid& id) -> const PackedIds& {
        const auto slot = index.slotOf(id);
        return slot ? index.entry(*slot).association : none;
    };
    const PackedIds& own = associationOf(item.id);
    const TokenMarks ownMarks(own);
    const QSet<QString> titleWordSet = extractTokens(item.title);
    const QStringList titleWords(titleWordSet.cbegin(), titleWordSet.cend());
    // Which of the item's title words the other title holds: marked with the other's number, so
    // nothing needs clearing between items.
    std::vector<qsizetype> seenIn(size_t(titleWords.size()), -1);

    struct Ranked {
        const VeskItem* item;
        double score;
    };
    std::vector<Ranked> ranked;
    for (qsizetype position = 0; position < items.size(); ++position) {
        const VeskItem& other = items[position];
        if (other.id == item.id)
            continue;
        const PackedIds& theirs = associationOf(other.id);
        const qsizetype shared = ownMarks.sharedWith(theirs);
        qsizetype titleShared = 0;
        // A title's words are among its item's association tokens, so an indexed item that shares
        // none of those shares no title word either.
        if (!titleWords.isEmpty() && (shared > 0 || own.isEmpty())) {
            // The words are looked at in place, nothing is copied.
            const QString lowered = lowerText(other.title);
            forEachContentWord(lowered, [&](QStringView word) {
                for (qsizetype i = 0; i < titleWords.size(); ++i) {
                    if (seenIn[size_t(i)] != position && titleWords[i] == word) {
                        seenIn[size_t(i)] = position;
                        ++titleShared;
                    }
                }
            });
        }
        double score = double(shared) * 8.0 + double(titleShared) * 5.0;
        if (shared > 0) {
            const size_t smaller = std::max<size_t>(1, size_t(std::min(own.size(), theirs.size())));
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
