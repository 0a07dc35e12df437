#include "search/ManualTags.h"
#include "search/Ranking.h"
#include "search/UsageSignals.h"
#include "model/VeskItem.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <optional>

#include <algorithm>
#include <vector>

namespace vesk {
namespace {

const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

VeskItem itemAt(qint64 secs, const QString& title = QString())
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.createdAt = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
    return item;
}

TEST(RankingOrder, NearlyEqualScoresGoNewerFirst)
{
    EXPECT_TRUE(rankedBefore(5.00002, 200, 5.00009, 100));
    EXPECT_FALSE(rankedBefore(5.00009, 100, 5.00002, 200));
    EXPECT_TRUE(rankedBefore(10.00001, 200, 10.00005, 100));
    EXPECT_TRUE(rankedBefore(5.5, 100, 5.0, 200));
    EXPECT_FALSE(rankedBefore(5.0, 200, 5.5, 100));
    EXPECT_EQ(rankingStep(0.1 + 0.2), rankingStep(0.3));
}

TEST(RankingOrder, IsAStrictWeakOrderingSoSortingCannotBreak)
{
    // Scores a few hundred-thousandths apart: "closer than 0.0001" would chain them all together
    // while the ends are further apart, which a sort cannot cope with.
    QRandomGenerator random(7);
    struct Entry {
        double score;
        qint64 created;
    };
    std::vector<Entry> entries;
    for (int i = 0; i < 200'000; ++i)
        entries.push_back({5.0 + double(random.bounded(3000)) * 0.00003, qint64(random.bounded(50))});
    auto less = [](const Entry& a, const Entry& b) {
        return rankedBefore(a.score, a.created, b.score, b.created);
    };
    for (int i = 0; i < 20'000; ++i) {
        const Entry& a = entries[random.bounded(quint32(entries.size()))];
        const Entry& b = entries[random.bounded(quint32(entries.size()))];
        const Entry& c = entries[random.bounded(quint32(entries.size()))];
        ASSERT_FALSE(less(a, a));
        ASSERT_FALSE(less(a, b) && less(b, a));
        if (less(a, b) && less(b, c)) {
            ASSERT_TRUE(less(a, c));
        }
        // Incomparability is transitive too.
        const bool ab = !less(a, b) && !less(b, a);
        const bool bc = !less(b, c) && !less(c, b);
        if (ab && bc) {
            ASSERT_TRUE(!less(a, c) && !less(c, a));
        }
    }
    std::sort(entries.begin(), entries.end(), less);
    EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(), less));
    EXPECT_GE(entries.front().score, entries.back().score);

    QList<std::pair<VeskItem, double>> ranked;
    for (int i = 0; i < 5000; ++i)
        ranked.append({itemAt(random.bounded(100)), 1.0 + double(random.bounded(10)) * 0.00004});
    sortRankedItems(ranked);
    for (qsizetype i = 1; i < ranked.size(); ++i) {
        ASSERT_FALSE(rankedBefore(ranked[i].second, rankingTime(ranked[i].first.createdAt),
            ranked[i - 1].second, rankingTime(ranked[i - 1].first.createdAt)));
    }
}

TEST(Recency, BandsByAge)
{
    auto ago = [](double seconds) { return kNow.addMSecs(qint64(-seconds * 1000)); };
    EXPECT_DOUBLE_EQ(recencyFactor(ago(3600), kNow), 1.0);
    EXPECT_DOUBLE_EQ(recencyFactor(ago(-86'400 * 3), kNow), 1.0);
    EXPECT_DOUBLE_EQ(recencyFactor(ago(86'400), kNow), 0.74);
    EXPECT_DOUBLE_EQ(recencyFactor(ago(604'799), kNow), 0.74);
    EXPECT_DOUBLE_EQ(recencyFactor(ago(604'800), kNow), 0.48);
    EXPECT_DOUBLE_EQ(recencyFactor(ago(2'592'000), kNow), 0.24);
    EXPECT_DOUBLE_EQ(recencyFactor(ago(10'368'000), kNow), 0.08);
    EXPECT_DOUBLE_EQ(recencyBonus(ago(3600), kNow), 0.55);
    EXPECT_DOUBLE_EQ(recencyBonus(ago(86'400 * 10), kNow), 0.264);
    EXPECT_DOUBLE_EQ(recencyBonus(QDateTime(), kNow), 0.044);
    // Lexical score 6, an hour old, never opened.
    EXPECT_DOUBLE_EQ(6.0 + recencyBonus(ago(3600), kNow), 6.55);
}

TEST(UsageScore, FrequencyAndRecencyOfUse)
{
    EXPECT_DOUBLE_EQ(usageScore(std::nullopt, kNow), 0.0);
    const UsageSignal threeUses{3, kNow.addDays(-2)};
    EXPECT_NEAR(0.9 * usageScore(threeUses, kNow), 0.48096, 1e-12);
    EXPECT_DOUBLE_EQ(usageScore(UsageSignal{31, kNow}, kNow), 1.0);
    EXPECT_NEAR(usageScore(UsageSignal{1, kNow.addDays(1)}, kNow), 0.2 * 0.58 + 0.42, 1e-12);
    EXPECT_NEAR(usageScore(UsageSignal{1, kNow.addDays(-10)}, kNow), 0.2 * 0.58 + 0.168, 1e-12);
    EXPECT_NEAR(usageScore(UsageSignal{1, kNow.addDays(-40)}, kNow), 0.2 * 0.58 + 0.0504, 1e-12);
    // Damaged stored counts stay within 0..1 instead of running to minus infinity.
    EXPECT_DOUBLE_EQ(usageScore(UsageSignal{-1, kNow}, kNow), 0.42);
    EXPECT_DOUBLE_EQ(usageScore(UsageSignal{-5, QDateTime()}, kNow), 0.0504);

    const UsageSignal first = recordedUse(std::nullopt, kNow);
    const UsageSignal second = recordedUse(first, kNow.addSecs(5));
    EXPECT_EQ(second, (UsageSignal{2, kNow.addSecs(5)}));
}

TEST(UsageSignals, StoredFormRoundTripsAndRejectsBadData)
{
    const QString key = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(978'307'200'000 + 1'500, Qt::UTC);
    const QByteArray json = encodeUsageSignals({{key, UsageSignal{2, when}}});
    const QJsonObject entry = QJsonDocument::fromJson(json).object().value(key).toObject();
    EXPECT_EQ(entry.value(QStringLiteral("selectionCount")).toInt(), 2);
    EXPECT_DOUBLE_EQ(entry.value(QStringLiteral("lastSelectedAt")).toDouble(), 1.5);
    EXPECT_FALSE(json.contains('\n'));
    const auto decoded = decodeUsageSignals(json);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->value(key), (UsageSignal{2, when}));

    EXPECT_FALSE(decodeUsageSignals("not json"));
    EXPECT_FALSE(decodeUsageSignals("[]"));
    EXPECT_FALSE(decodeUsageSignals(R"({"A":{"selectionCount":2}})"));
    EXPECT_FALSE(decodeUsageSignals(R"({"A":{"selectionCount":2.5,"lastSelectedAt":1}})"));
    EXPECT_TRUE(decodeUsageSignals("{}"));
}

TEST(UsageSignals, KeptEncodedEntryByEntryTheyAreSavedAsEncodedWhole)
{
    const QDateTime epoch = QDateTime::fromMSecsSinceEpoch(978'307'200'000, Qt::UTC);
    const QString first = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    const QString second = QStringLiteral("0A9619FF-8B86-D011-B42D-00C04FC964FF");
    // Keys a damaged file could bring back: written escaped, and in the same order.
    const QString quoted = QStringLiteral("a \"quoted\\ key\n");
    const QString accented = QStringLiteral("\u00e9t\u00e9 \u65e5\u672c \U0001F389");
    struct Change {
        QString key;
        std::optional<UsageSignal> signal; // none: the entry goes
    };
    struct Case {
        const char* what;
        UsageSignalMap start;
        QList<Change> changes;
    };
    const Case cases[] = {
        {"none", {}, {}},
        {"a first use", {}, {{first, UsageSignal{1, epoch.addMSecs(1'500)}}}},
        {"uses of two items, one again later",
            {{first, UsageSignal{3, epoch.addSecs(786'000'000)}}},
            {{second, UsageSignal{1, epoch.addMSecs(-250)}}, {first, UsageSignal{4, epoch.addMSecs(786'000'000'123)}}}},
        {"a whole-second date and a count past a billion",
            {}, {{first, UsageSignal{2'000'000'000, epoch.addSecs(1'000'000'000)}}, {second, UsageSignal{1, epoch}}}},
        {"an item forgotten", {{first, UsageSignal{1, epoch}}, {second, UsageSignal{2, epoch}}}, {{first, std::nullopt}}},
        {"the last item forgotten", {{first, UsageSignal{1, epoch}}}, {{first, std::nullopt}}},
        {"odd keys", {{accented, UsageSignal{1, epoch}}}, {{quoted, UsageSignal{5, epoch.addDays(3)}}, {QString(), UsageSignal{1, epoch}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UsageSignalMap signalMap = c.start;
        EncodedUsageSignals encoded;
        encoded.reset(signalMap);
        EXPECT_EQ(encoded.json(), encodeUsageSignals(signalMap));
        for (const Change& change : c.changes) {
            if (change.signal) {
                signalMap.insert(change.key, *change.signal);
                encoded.set(change.key, *change.signal);
            } else {
                signalMap.remove(change.key);
                encoded.remove(change.key);
            }
            EXPECT_EQ(encoded.json(), encodeUsageSignals(signalMap));
        }
        EXPECT_EQ(decodeUsageSignals(encoded.json()), signalMap);
    }
}

TEST(ManualTagMap, AddRemoveAndStoredForm)
{
    ManualTagMap tags;
    EXPECT_TRUE(addManualTag(tags, QStringLiteral("K"), QStringLiteral("  #Work Trip ")));
    EXPECT_FALSE(addManualTag(tags, QStringLiteral("K"), QStringLiteral("worktrip")));
    EXPECT_FALSE(addManualTag(tags, QStringLiteral("K"), QStringLiteral("###")));
    EXPECT_TRUE(addManualTag(tags, QStringLiteral("K"), QStringLiteral("alpha")));
    EXPECT_EQ(tags.value(QStringLiteral("K")), (QStringList{"alpha", "worktrip"}));

    EXPECT_FALSE(removeManualTag(tags, QStringLiteral("other"), QStringLiteral("alpha")));
    EXPECT_TRUE(removeManualTag(tags, QStringLiteral("K"), QStringLiteral("missing")));
    EXPECT_TRUE(removeManualTag(tags, QStringLiteral("K"), QStringLiteral("#Alpha")));
    EXPECT_TRUE(removeManualTag(tags, QStringLiteral("K"), QStringLiteral("worktrip")));
    EXPECT_FALSE(tags.contains(QStringLiteral("K")));

    tags.insert(QStringLiteral("A"), {QStringLiteral("x"), QStringLiteral("y")});
    EXPECT_EQ(decodeManualTags(encodeManualTags(tags)), tags);
    EXPECT_FALSE(decodeManualTags(R"({"A":"x"})"));
    EXPECT_FALSE(decodeManualTags(R"({"A":[1]})"));

    VeskItem item = itemAt(0, QStringLiteral("Plan"));
    item.note = QStringLiteral("an #Idea");
    EXPECT_EQ(displayTags(item, {QStringLiteral("alpha"), QStringLiteral("idea")}), (QStringList{"alpha", "idea"}));

    // Tags at the very start and end of each field, and a text shared with the searchable text.
    item.title = QStringLiteral("#first");
    item.note = QStringLiteral("ends with #last");
    item.text = QStringLiteral("#shared body #Shared-Too");
    item.searchableText = *item.text;
    item.urlString = QStringLiteral("https://example.org/page#anchor");
    EXPECT_EQ(displayTags(item, {}), (QStringList{"first", "last", "shared", "shared-too"}));
    item.searchableText = QStringLiteral("only#inside and #own");
    EXPECT_EQ(displayTags(item, {}), (QStringList{"first", "last", "own", "shared", "shared-too"}));
}

TEST(DefaultOrder, BroughtBackFirstThenNewestKeepingTies)
{
    const VeskItem a = itemAt(100, QStringLiteral("a"));
    const VeskItem b = itemAt(300, QStringLiteral("b"));
    const VeskItem c = itemAt(200, QStringLiteral("c"));
    const VeskItem d = itemAt(300, QStringLiteral("d"));
    const VeskItem e = itemAt(50, QStringLiteral("e"));
    QStringList titles;
    for (const VeskItem& item : defaultOrder({a, b, c, d, e}, {e.id, a.id}))
        titles.append(item.title);
    EXPECT_EQ(titles, (QStringList{"a", "e", "b", "d", "c"}));
}

} // namespace
} // namespace vesk
