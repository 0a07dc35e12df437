#include "search/RelatedItems.h"

#include "search/SearchIndex.h"
#include "search/SemanticVectors.h"
#include "search/SearchText.h"

#include <algorithm>
#include <vector>

namespace vesk {

namespace related {

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

// The item's title words, counted in other titles: each is marked with the number of the title
// it was last found in, so nothing needs clearing between titles.
class TitleWords {
public:
    explicit TitleWords(const QString& title)
    {
        const QSet<QString> words = extractTokens(title);
        m_words = QStringList(words.cbegin(), words.cend());
        m_seenIn.assign(size_t(m_words.size()), -1);
    }
    bool isEmpty() const { return m_words.isEmpty(); }
    // How many of the words the other title holds; number tells this title from the last one.
    qsizetype sharedWith(const QString& otherTitle, qsizetype number)
    {
        qsizetype shared = 0;
        // The words are looked at in place, nothing is copied.
        const QString lowered = lowerText(otherTitle);
        forEachContentWord(lowered, [&](QStringView word) {
            for (qsizetype i = 0; i < m_words.size(); ++i) {
                if (m_seenIn[size_t(i)] != number && m_words[i] == word) {
                    m_seenIn[size_t(i)] = number;
                    ++shared;
                }
            }
        });
        return shared;
    }

private:
    QStringList m_words;
    std::vector<qsizetype> m_seenIn;
};

} // namespace related

namespace {

using related::TitleWords;
using related::TokenMarks;

// Closeness of two items' creation in time (milliseconds since the epoch).
double timeGapBonus(qint64 aMs, qint64 bMs)
{
    const qint64 gap = std::abs(bMs - aMs) / 1000;
    if (gap < 86'400)
        return 1.0;
    if (gap < 604'800)
        return 0.35;
    return 0.0;
}

// Recency of the other item, by its age.
double recencyOf(qint64 createdAtMs, qint64 nowMs)
{
    const qint64 age = (nowMs - createdAtMs) / 1000;
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

// What the other item shares with the item: 0 when nothing (no word, no close meaning).
double sharedScore(qsizetype shared, qsizetype ownCount, qsizetype theirCount, qsizetype titleShared,
    std::optional<double> cosine)
{
    double score = double(shared) * 8.0 + double(titleShared) * 5.0;
    if (shared > 0) {
        const size_t smaller = std::max<size_t>(1, size_t(std::min(ownCount, theirCount)));
        score += double(shared) / double(smaller) * 10.0;
    }
    if (cosine && *cosine >= 0.34)
        score += *cosine * 18.0;
    return score;
}

// Whether a title can share a word with the item's title: a title's words are among its item's
// association tokens, so an indexed item that shares none of those shares no title word either.
bool titleMayShare(const TitleWords& titleWords, qsizetype shared, const PackedIds& own)
{
    return !titleWords.isEmpty() && (shared > 0 || own.isEmpty());
}

qint64 msOf(const QDateTime& date)
{
    return date.isValid() ? date.toMSecsSinceEpoch() : 0;
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
    TitleWords titleWords(item.title);
    const qint64 ownMs = msOf(item.createdAt);
    const qint64 nowMs = msOf(signalSources.now);

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
        const qsizetype titleShared
            = titleMayShare(titleWords, shared, own) ? titleWords.sharedWith(other.title, position) : 0;
        double score = sharedScore(shared, own.size(), theirs.size(), titleShared,
            signalSources.vectorCosine ? signalSources.vectorCosine(other.id) : std::nullopt);
        if (score == 0.0)
            continue;
        const qint64 otherMs = msOf(other.createdAt);
        score += timeGapBonus(ownMs, otherMs) + recencyOf(otherMs, nowMs);
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

RelatedRanking::RelatedRanking(const VeskItem& item, const SearchIndex& index, const SemanticVectors& vectors,
    QHash<QUuid, double> usage, const QDateTime& now)
    : m_id(item.id)
    , m_createdAtMs(msOf(item.createdAt))
    , m_nowMs(msOf(now))
    , m_titleWords(std::make_unique<TitleWords>(item.title))
    , m_hasVector(vectors.contains(item.id))
    , m_usage(std::move(usage))
{
    if (const auto slot = index.slotOf(item.id))
        m_association = index.entry(*slot).association;
    m_marks = std::make_unique<TokenMarks>(m_association);
}

RelatedRanking::~RelatedRanking() = default;

void RelatedRanking::scoreSlots(const SearchIndex& index, const SemanticVectors& vectors, quint32 from, quint32 to)
{
    to = std::min(to, index.slotCount());
    for (quint32 slot = from; slot < to; ++slot) {
        if (!index.isLive(slot) || index.idAt(slot) == m_id)
            continue;
        const SearchIndex::Entry& other = index.entry(slot);
        const qsizetype shared = m_marks->sharedWith(other.association);
        const qsizetype titleShared = titleMayShare(*m_titleWords, shared, m_association)
            ? m_titleWords->sharedWith(other.source.title, qsizetype(slot))
            : 0;
        double score = sharedScore(shared, m_association.size(), other.association.size(), titleShared,
            m_hasVector ? vectors.cosine(m_id, other.id) : std::nullopt);
        if (score == 0.0)
            continue;
        const qint64 otherMs = msOf(other.source.createdAt);
        score += timeGapBonus(m_createdAtMs, otherMs) + recencyOf(otherMs, m_nowMs);
        score += m_usage.value(other.id, 0.0) * 0.7;
        m_ranked.push_back({other.id, otherMs, score});
    }
}

QList<QUuid> RelatedRanking::best(qsizetype limit)
{
    const auto better = [](const Ranked& a, const Ranked& b) {
        if (a.score != b.score)
            return a.score > b.score;
        return a.createdAtMs > b.createdAtMs;
    };
    // Stable: exact ties keep the slot order, so the same index gives the same list.
    std::stable_sort(m_ranked.begin(), m_ranked.end(), better);
    const size_t kept = std::min(m_ranked.size(), size_t(std::max<qsizetype>(limit, 0)));
    QList<QUuid> ids;
    ids.reserve(qsizetype(kept));
    for (size_t i = 0; i < kept; ++i)
        ids.append(m_ranked[i].id);
    return ids;
}

} // namespace vesk
