#include "search/DeepSearch.h"
#include "search/IndexAnchorOverlaps.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>
#include <vector>

namespace vesk {
namespace {

constexpr int kDimensions = 12;
const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
// Old enough for the smallest recency bonus: 0.55 × 0.08.
constexpr qint64 kOld = 200LL * 86'400;
constexpr double kOldBonus = 0.044;

// A vector whose cosine with the query (the first axis) is exactly first / |v|: the other values
// sit on their own axes, so that vectors built this way are far from each other.
QList<double> vectorWith(double first, std::initializer_list<double> rest, int offset)
{
    QList<double> vector(kDimensions, 0.0);
    vector[0] = first;
    int axis = offset;
    for (const double value : rest)
        vector[axis++] = value;
    return vector;
}

using OverlapTable = QHash<QPair<QUuid, QUuid>, double>;

// Overlaps the test sets by hand, by (anchor, item).
class TableOverlaps final : public AnchorOverlaps {
public:
    TableOverlaps(const OverlapTable& table, const QList<QUuid>& anchors) : m_table(table), m_anchors(anchors) {}
    void overlaps(const QUuid& item, std::span<double> out) const override
    {
        for (qsizetype k = 0; k < m_anchors.size(); ++k)
            out[size_t(k)] = m_table.value(qMakePair(m_anchors[k], item), 0.0);
    }

private:
    OverlapTable m_table;
    QList<QUuid> m_anchors;
};

class DeepSearchTest : public ::testing::Test {
protected:
    VeskItem add(const QString& title, qint64 ageSeconds = kOld)
    {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.title = title;
        item.createdAt = kNow.addSecs(-ageSeconds);
        items.append(item);
        return item;
    }
    void lexical(const VeskItem& item, double score, const QString& hint = QString())
    {
        snapshot.scores.insert(item.id, score);
        snapshot.rankedIDs.append(item.id);
        if (!hint.isEmpty())
            snapshot.hints.insert(item.id, hint);
    }
    void overlap(const VeskItem& a, const VeskItem& b, double value)
    {
        overlaps.insert(qMakePair(a.id, b.id), value);
        overlaps.insert(qMakePair(b.id, a.id), value);
    }

    std::optional<DeepSearchResult> run(std::optional<DeepSearchCheckpoint> cancelAt = std::nullopt)
    {
        snapshot.query = QStringLiteral("query");
        CancellationToken token;
        const DeepSearchInput input{snapshot, query, items, vectors,
            [this](const QList<QUuid>& anchors) { return std::make_unique<TableOverlaps>(overlaps, anchors); },
            usage, kNow, token,
            [&](DeepSearchCheckpoint at) {
                if (cancelAt && at == *cancelAt)
                    token.cancel();
            }};
        return runDeepSearch(input);
    }

    static double scoreOf(const DeepSearchResult& result, const VeskItem& item)
    {
        for (qsizetype i = 0; i < result.items.size(); ++i) {
            if (result.items[i].id == item.id)
                return result.scores[i];
        }
        return -1.0;
    }
    static QList<QUuid> idsOf(const DeepSearchResult& result)
    {
        QList<QUuid> ids;
        for (const VeskItem& item : result.items)
            ids.append(item.id);
        return ids;
    }

    QList<VeskItem> items;
    SemanticVectors vectors;
    LexicalSnapshot snapshot;
    QHash<QUuid, double> usage;
    OverlapTable overlaps;
    std::optional<QList<double>> query = vectorWith(1.0, {}, 1);
};

TEST(SemanticScore, BandsStartExactlyAtTheirEdges)
{
    EXPECT_DOUBLE_EQ(*semanticScore(0.46), 0.46 * 15);
    EXPECT_DOUBLE_EQ(*semanticScore(0.4599), 0.4599 * 9);
    EXPECT_DOUBLE_EQ(*semanticScore(0.32), 0.32 * 9);
    EXPECT_DOUBLE_EQ(*semanticScore(0.24), 0.24 * 4.5);
    EXPECT_FALSE(semanticScore(0.2399));
    EXPECT_FALSE(semanticScore(-0.9));
}

TEST_F(DeepSearchTest, CosinesAtTheBandEdgesScoreByTheirBand)
{
    // 23/50, 8/25 and 6/25 are exactly 0.46, 0.32 and 0.24.
    const VeskItem high = add(QStringLiteral("high"));
    vectors.insert(high.id, vectorWith(23, {44, 5, 3, 1}, 1));
    const VeskItem middle = add(QStringLiteral("middle"));
    vectors.insert(middle.id, vectorWith(8, {23, 4, 4}, 5));
    const VeskItem low = add(QStringLiteral("low"));
    vectors.insert(low.id, vectorWith(6, {24, 3, 2}, 8));
    const VeskItem below = add(QStringLiteral("below"));
    vectors.insert(below.id, vectorWith(0.2399, {std::sqrt(1 - 0.2399 * 0.2399)}, 11));

    const auto result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(idsOf(*result), (QList<QUuid>{high.id, middle.id, low.id}));
    EXPECT_DOUBLE_EQ(scoreOf(*result, high), 0.46 * 15 + kOldBonus);
    EXPECT_DOUBLE_EQ(scoreOf(*result, middle), 0.32 * 9 + kOldBonus);
    EXPECT_DOUBLE_EQ(scoreOf(*result, low), 0.24 * 4.5 + kOldBonus);
    for (const VeskItem& item : {high, middle, low})
        EXPECT_EQ(result->hints.value(item.id), QStringLiteral("Matched by association"));
}

TEST_F(DeepSearchTest, FewLexicalHitsCompareEveryItemByMeaning)
{
    for (int i = 0; i < 23; ++i)
        lexical(add(QStringLiteral("word %1").arg(i)), 3.0);
    const VeskItem meaning = add(QStringLiteral("meaning only"));
    vectors.insert(meaning.id, vectorWith(0.6, {0.8}, 1));
    const VeskItem used = add(QStringLiteral("used and close"));
    vectors.insert(used.id, vectorWith(0.5, {std::sqrt(0.75)}, 2));
    usage.insert(used.id, 0.8);
    const VeskItem far = add(QStringLiteral("far"));
    vectors.insert(far.id, vectorWith(0.1, {std::sqrt(0.99)}, 3));

    auto result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->items.size(), 25);
    EXPECT_EQ(result->items.first().id, meaning.id);
    EXPECT_EQ(result->hints.value(meaning.id), QStringLiteral("Matched by association"));
    EXPECT_EQ(result->hints.value(used.id), QStringLiteral("You used this recently"));
    // Vectors are kept in half precision: a cosine is within a thousandth of the exact one.
    EXPECT_NEAR(scoreOf(*result, used), 0.5 * 15 + kOldBonus + 0.8 * 0.9, 15 * 1e-3);
    EXPECT_FALSE(idsOf(*result).contains(far.id));

    // With 24 hits the close item is neither ranked nor among the 24 of highest prior.
    lexical(add(QStringLiteral("word 23")), 3.0);
    std::rotate(items.begin(), items.end() - 1, items.end());
    result = run();
    ASSERT_TRUE(result);
    EXPECT_FALSE(idsOf(*result).contains(meaning.id));
    // The used item is among the 24 of highest prior, and scores by meaning again.
    EXPECT_TRUE(idsOf(*result).contains(used.id));
    EXPECT_EQ(result->items.size(), 25);
}

TEST_F(DeepSearchTest, OnlyTheFirstRankedHitsAndTheItemsOfHighestPriorAreCandidates)
{
    QList<VeskItem> ranked;
    for (int i = 0; i < 250; ++i) {
        ranked.append(add(QStringLiteral("hit %1").arg(i)));
        lexical(ranked.last(), 10.0 - i * 0.01);
    }
    // Newer than all hits, so first by prior, but neither ranked nor close in meaning.
    const VeskItem recent = add(QStringLiteral("recent"), 60);
    const auto result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->items.size(), 240);
    EXPECT_TRUE(idsOf(*result).contains(ranked[239].id));
    EXPECT_FALSE(idsOf(*result).contains(ranked[240].id));
    EXPECT_FALSE(idsOf(*result).contains(recent.id));
}

TEST_F(DeepSearchTest, LexicalHitsKeepTheirOwnReasons)
{
    const VeskItem titled = add(QStringLiteral("titled"));
    lexical(titled, 16.0, QStringLiteral("Matched title"));
    vectors.insert(titled.id, vectorWith(1.0, {}, 1));
    const VeskItem plain = add(QStringLiteral("plain"));
    lexical(plain, 2.0);
    vectors.insert(plain.id, vectorWith(0.9, {std::sqrt(1 - 0.81)}, 2));
    overlap(titled, plain, 1.0);

    const auto result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->hints.value(titled.id), QStringLiteral("Matched title"));
    EXPECT_FALSE(result->hints.contains(plain.id));
}

TEST_F(DeepSearchTest, AssociationIsCappedAndWeighedByTheAnchor)
{
    const VeskItem strong = add(QStringLiteral("Strong anchor"));
    lexical(strong, 30.0);
    vectors.insert(strong.id, vectorWith(0.0, {1.0}, 1));
    // Shares every token with the anchor and is close to it: (1.25 + 0.9 × 1.5) × 1 = 2.6.
    const VeskItem close = add(QStringLiteral("close"));
    vectors.insert(close.id, vectorWith(0.3, {0.9, std::sqrt(1 - 0.81 - 0.09)}, 1));
    overlap(strong, close, 1.0);

    const auto result = run();
    ASSERT_TRUE(result);
    const double closeFinal = 0.3 * 4.5 + kOldBonus;
    // (Within what half-precision vectors give.)
    EXPECT_NEAR(scoreOf(*result, close), closeFinal + 2.2, 5e-3);
    EXPECT_EQ(result->hints.value(close.id), QStringLiteral("Related to Strong anchor"));
    // The anchor is not associated with itself; the other anchor, a weak one, lifts it a little.
    EXPECT_NEAR(scoreOf(*result, strong), 30.0 + kOldBonus + 2.6 * closeFinal / 18, 5e-3);
}

TEST_F(DeepSearchTest, AnAnchorIsNeverAssociatedWithItself)
{
    const VeskItem alone = add(QStringLiteral("alone"));
    lexical(alone, 20.0);
    vectors.insert(alone.id, vectorWith(1.0, {}, 1));
    overlap(alone, alone, 1.0);
    const auto result = run();
    ASSERT_TRUE(result);
    EXPECT_DOUBLE_EQ(scoreOf(*result, alone), 20.0 + 15.0 + kOldBonus);
}

TEST_F(DeepSearchTest, OnlyTheFirstSixKeepReasonLinesAndNearTiesGoNewerFirst)
{
    QList<VeskItem> close;
    for (int i = 0; i < 8; ++i) {
        close.append(add(QStringLiteral("close %1").arg(i), kOld + i));
        vectors.insert(close.last().id, vectorWith(0.5, {std::sqrt(0.75)}, 1 + i));
    }
    auto result = run();
    ASSERT_TRUE(result);
    ASSERT_EQ(result->items.size(), 8);
    // Equal scores: newer first.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(result->items[i].id, close[i].id);
    EXPECT_EQ(result->hints.size(), 6);
    EXPECT_FALSE(result->hints.contains(close[6].id));

    // Scores 0.00005 apart count as equal; 0.0002 apart do not.
    items.clear();
    vectors.clear();
    const VeskItem older = add(QStringLiteral("older"), kOld + 10);
    lexical(older, 5.00005);
    const VeskItem newer = add(QStringLiteral("newer"), kOld);
    lexical(newer, 5.0);
    result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(idsOf(*result), (QList<QUuid>{newer.id, older.id}));
    snapshot.scores.insert(older.id, 5.0002);
    result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(idsOf(*result), (QList<QUuid>{older.id, newer.id}));
}

TEST_F(DeepSearchTest, WithoutAQueryVectorLexicalHitsAreStillPublished)
{
    const VeskItem hit = add(QStringLiteral("hit"));
    lexical(hit, 4.0, QStringLiteral("Matched note"));
    const VeskItem close = add(QStringLiteral("close"));
    vectors.insert(close.id, vectorWith(1.0, {}, 1));
    query.reset();
    auto result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(idsOf(*result), QList<QUuid>{hit.id});
    EXPECT_EQ(result->hints.value(hit.id), QStringLiteral("Matched note"));

    // A query vector of another length compares with nothing.
    query = QList<double>{1.0, 0.0};
    result = run();
    ASSERT_TRUE(result);
    EXPECT_EQ(idsOf(*result), QList<QUuid>{hit.id});
}

// The fallback walks the kept vectors in their own order, in pieces on several threads: what it
// finds is every library item close enough, and nothing of a freed slot or of an identifier that
// is not in the library.
TEST_F(DeepSearchTest, FallbackFindsEveryCloseItemAcrossManyVectors)
{
    QSet<QUuid> expected;
    for (int i = 0; i < 3000; ++i) {
        const VeskItem item = add(QStringLiteral("item %1").arg(i));
        vectors.insert(item.id, vectorWith(i % 3 == 0 ? 1.0 : 0.1, {1.0}, 1 + i % 5));
        if (i % 7 == 0)
            vectors.remove(item.id);
        else if (i % 3 == 0)
            expected.insert(item.id);
    }
    for (int i = 0; i < 10; ++i)
        vectors.insert(QUuid::createUuid(), vectorWith(1.0, {}, 1));
    const auto result = run();
    ASSERT_TRUE(result);
    const QList<QUuid> found = idsOf(*result);
    EXPECT_EQ(QSet<QUuid>(found.begin(), found.end()), expected);
    EXPECT_EQ(found.size(), expected.size());
}

TEST_F(DeepSearchTest, CancellationAtAnyCheckpointPublishesNothing)
{
    lexical(add(QStringLiteral("hit")), 4.0);
    const VeskItem close = add(QStringLiteral("close"));
    vectors.insert(close.id, vectorWith(1.0, {}, 1));
    ASSERT_TRUE(run());
    for (const DeepSearchCheckpoint at : {DeepSearchCheckpoint::AfterQueryEmbedding,
             DeepSearchCheckpoint::BeforeSemanticScore, DeepSearchCheckpoint::AfterSemanticScores,
             DeepSearchCheckpoint::BeforeAssociation, DeepSearchCheckpoint::AfterSorting})
        EXPECT_FALSE(run(at)) << int(at);
}

// Distinct made-up words ("qaaaa", "qaaab", ...), indexed between the items of a test so that
// the token ids of the items that follow lie far apart.
QString spacerWords(int count)
{
    QStringList words;
    for (int n = 0; n < count; ++n) {
        QString word = QStringLiteral("q");
        for (int digit = 0, rest = n; digit < 4; ++digit, rest /= 26)
            word.append(QChar(u'a' + rest % 26));
        words.append(word);
    }
    return words.join(QLatin1Char(' '));
}

TEST(IndexAnchorOverlaps, AgreeWithTheIndexPairByPair)
{
    // Token ids are kept as gaps of one, two or three bytes: spacers between the items make the
    // gaps of the later items long.
    for (const int spacer : {0, 300, 20'000}) {
        SCOPED_TRACE(spacer);
        SearchIndex index;
        QList<QUuid> ids;
        const QStringList texts = {QStringLiteral("garden tomatoes seeds watering"),
            QStringLiteral("tomatoes pasta sauce garlic"), QStringLiteral("garden fence paint"),
            QStringLiteral("seeds watering garden tomatoes basil mint"), QStringLiteral("nothing shared here"),
            QString()};
        for (const QString& text : texts) {
            if (spacer > 0) {
                VeskItem filler;
                filler.id = QUuid::createUuid();
                filler.searchableText = spacerWords(spacer).replace(QLatin1Char('q'), QChar(char16_t(u'a' + ids.size())));
                index.upsert(filler, {}, {});
            }
            VeskItem item;
            item.id = QUuid::createUuid();
            item.title = text;
            item.searchableText = text;
            index.upsert(item, {}, {});
            ids.append(item.id);
        }
        ids.append(QUuid::createUuid()); // not indexed
        const QList<QUuid> anchors = ids.mid(0, 4) + QList<QUuid>{ids.last()};
        const IndexAnchorOverlaps overlaps(index, anchors);
        const size_t anchorCount = size_t(anchors.size());
        std::vector<double> ofEach(size_t(ids.size()) * anchorCount, -1.0);
        overlaps.overlapsOfEach(std::span<const QUuid>(ids.constData(), size_t(ids.size())), anchorCount, ofEach);
        for (qsizetype i = 0; i < ids.size(); ++i) {
            std::array<double, 5> values{};
            overlaps.overlaps(ids[i], values);
            for (qsizetype k = 0; k < anchors.size(); ++k) {
                EXPECT_DOUBLE_EQ(values[size_t(k)], index.associationOverlap(anchors[k], ids[i]));
                EXPECT_DOUBLE_EQ(ofEach[size_t(i) * anchorCount + size_t(k)], values[size_t(k)]);
            }
        }
        std::array<double, 5> values{};
        overlaps.overlaps(ids[3], values);
        EXPECT_DOUBLE_EQ(values[0], 1.0); // all four words of the first are in the fourth
        EXPECT_DOUBLE_EQ(values[2], 1.0 / 3.0);
    }
}

} // namespace
} // namespace vesk
