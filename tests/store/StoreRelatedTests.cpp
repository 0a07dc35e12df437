#include "store/SearchState.h"
#include "store/StoreTestSupport.h"
#include "store/StoreInternals.h"

#include <QTest>

#include <optional>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreRelated : public StoreTest {
protected:
    // An item created `ageDays` before the fake clock's start, with its own words.
    VeskItem wordsItem(const QString& title, const QString& words, double ageDays) const
    {
        VeskItem item = makeItem(title, 0);
        item.createdAt = clock->now().addSecs(-qint64(ageDays * 86'400));
        item.searchableText = words;
        return item;
    }

    void seedVector(const QUuid& id, const QList<double>& vector) const
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->updateEmbedding(id, embeddings->modelName(), vector).hasValue());
    }

    static QList<QUuid> ids(const QList<VeskItem>& items)
    {
        QList<QUuid> out;
        for (const VeskItem& item : items)
            out.append(item.id);
        return out;
    }
};

} // namespace

TEST_F(StoreRelated, SharedWordsTitleWordsAndMeaningMakeItemsRelated)
{
    const VeskItem shown = wordsItem(QStringLiteral("Lisbon tram notes"), QStringLiteral("lisbon tram tiles"), 100);
    const VeskItem sharesWords = wordsItem(QStringLiteral("Azulejo"), QStringLiteral("tiles museum"), 100);
    const VeskItem sharesTitle = wordsItem(QStringLiteral("Tram"), QStringLiteral("z"), 100);
    const VeskItem closeMeaning = wordsItem(QStringLiteral("Porto"), QStringLiteral("river wine"), 100);
    const VeskItem farMeaning = wordsItem(QStringLiteral("Budget"), QStringLiteral("taxes receipts"), 100);
    const VeskItem nothing = wordsItem(QStringLiteral("Grocery"), QStringLiteral("milk eggs"), 100);
    seed({shown, sharesWords, sharesTitle, closeMeaning, farMeaning, nothing});
    seedVector(shown.id, {1.0, 0.0});
    seedVector(closeMeaning.id, {0.6, 0.8});  // cosine 0.6
    seedVector(farMeaning.id, {0.3, 0.954}); // cosine 0.3: below the bar
    auto store = makeStore();

    const QList<QUuid> related = ids(store->relatedItems(shown, 10));
    EXPECT_EQ(related.size(), 3);
    EXPECT_TRUE(related.contains(sharesWords.id));
    EXPECT_TRUE(related.contains(sharesTitle.id));
    EXPECT_TRUE(related.contains(closeMeaning.id));
    EXPECT_FALSE(related.contains(shown.id));

    // An item without words, title words or a vector in common has none.
    EXPECT_TRUE(store->relatedItems(nothing, 3).isEmpty());
    EXPECT_TRUE(store->relatedItems(shown, 0).isEmpty());
}

TEST_F(StoreRelated, TimeTogetherRecencyAndUseDecideBetweenEqualMatches)
{
    const VeskItem shown = wordsItem(QStringLiteral("shown"), QStringLiteral("harbour"), 200);
    const VeskItem sameWeek = wordsItem(QStringLiteral("same week"), QStringLiteral("harbour"), 197);
    const VeskItem recent = wordsItem(QStringLiteral("recent"), QStringLiteral("harbour"), 0.5);
    const VeskItem old = wordsItem(QStringLiteral("old"), QStringLiteral("harbour"), 400);
    const VeskItem olderTwin = wordsItem(QStringLiteral("older twin"), QStringLiteral("harbour"), 401);
    seed({shown, sameWeek, recent, old, olderTwin});
    auto store = makeStore();

    // Same week: 0.35 + 0.036; a day old: 0.45; both others 0.036, the newer first.
    EXPECT_EQ(ids(store->relatedItems(shown, 6)), (QList<QUuid>{recent.id, sameWeek.id, old.id, olderTwin.id}));

    // Being opened five times just now lifts the older twin past the others.
    for (int i = 0; i < 5; ++i)
        store->recordUsage(olderTwin.id);
    EXPECT_EQ(store->relatedItems(shown, 1).first().id, olderTwin.id);
}

TEST_F(StoreRelated, TheRankingIsRememberedUntilTheLibraryOrTheUsageChanges)
{
    const VeskItem shown = wordsItem(QStringLiteral("shown"), QStringLiteral("orchard apple"), 50);
    QList<VeskItem> library{shown};
    for (int i = 0; i < 8; ++i)
        library.append(wordsItem(QStringLiteral("apple %1").arg(i), QStringLiteral("orchard"), 10 + i));
    seed(library);
    auto store = makeStore();

    const QList<VeskItem> three = store->relatedItems(shown, 3);
    ASSERT_EQ(three.size(), 3);
    // A limit of three remembers six.
    const QList<QUuid> memo = StoreInternals::searchState(*store).relatedCache.value(shown.id);
    ASSERT_EQ(memo.size(), 6);
    EXPECT_EQ(memo.first(3), ids(three));
    EXPECT_EQ(store->relatedItems(shown, 3), three);
    // A limit of six before any change returns those six and computes nothing: identifiers of
    // the memo that name no item any more are left out.
    StoreInternals::searchState(*store).relatedCache[shown.id].prepend(QUuid::createUuid());
    EXPECT_EQ(ids(store->relatedItems(shown, 6)), memo);
    EXPECT_EQ(ids(store->relatedItems(shown, 10)), memo);

    // A use anywhere empties the memo; the next call computes it afresh.
    store->select(library.last().id);
    EXPECT_TRUE(StoreInternals::searchState(*store).relatedCache.isEmpty());
    EXPECT_EQ(store->relatedItems(shown, 1).first().id, library.last().id);

    // So does a change of the library.
    store->relatedItems(shown, 3);
    ASSERT_TRUE(store->commitNewItem(wordsItem(QStringLiteral("new apple"), QStringLiteral("orchard"), 0)));
    EXPECT_FALSE(StoreInternals::searchState(*store).relatedCache.contains(shown.id));
}

TEST_F(StoreRelated, AWorkersRankingIsTheMainThreadsAndOnlyTheLatestAskedIsAnswered)
{
    const VeskItem shown = wordsItem(QStringLiteral("Lisbon tram notes"), QStringLiteral("lisbon tram tiles"), 100);
    const VeskItem sharesWords = wordsItem(QStringLiteral("Azulejo"), QStringLiteral("tiles museum"), 3);
    const VeskItem sharesTwo = wordsItem(QStringLiteral("Lisbon"), QStringLiteral("lisbon tiles"), 40);
    const VeskItem sharesTitle = wordsItem(QStringLiteral("Tram"), QStringLiteral("z"), 300);
    const VeskItem closeMeaning = wordsItem(QStringLiteral("Porto"), QStringLiteral("river wine"), 99);
    const VeskItem nothing = wordsItem(QStringLiteral("Grocery"), QStringLiteral("milk eggs"), 1);
    seed({shown, sharesWords, sharesTwo, sharesTitle, closeMeaning, nothing});
    seedVector(shown.id, {1.0, 0.0});
    seedVector(closeMeaning.id, {0.6, 0.8});
    auto store = makeStore();
    store->recordUsage(sharesTitle.id);
    const QList<QUuid> expected = ids(store->relatedItems(shown, 6));
    ASSERT_EQ(expected.size(), 4);
    StoreInternals::searchState(*store).relatedCache.clear();

    // The store embeds the four items without a vector and empties the memo when that is done:
    // a ranking that ended before it would be handed over but not remembered.
    ASSERT_TRUE(QTest::qWaitFor([&] { return embeddings->texts.size() >= 4 && store->indexingCount() == 0; }, 10'000));

    QObject receiver;
    std::optional<QList<QUuid>> left, latest, remembered;
    store->rankRelatedItemsLater(nothing, 3, &receiver, [&](const QList<VeskItem>& items) { left = ids(items); });
    store->rankRelatedItemsLater(shown, 3, &receiver, [&](const QList<VeskItem>& items) {
        latest = ids(items);
        if (const auto known = store->knownRelatedItems(shown, 6))
            remembered = ids(*known);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return latest.has_value(); }, 5000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(left.has_value());
    EXPECT_EQ(*latest, expected.first(3));
    ASSERT_TRUE(remembered.has_value());
    EXPECT_EQ(*remembered, expected);

    // The library changed while the worker ranked: the list is handed over but not remembered.
    StoreInternals::searchState(*store).relatedCache.clear();
    std::optional<QList<QUuid>> during;
    store->rankRelatedItemsLater(shown, 3, &receiver, [&](const QList<VeskItem>& items) { during = ids(items); });
    ASSERT_TRUE(store->commitNewItem(wordsItem(QStringLiteral("Tram stop"), QStringLiteral("tram"), 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return during.has_value(); }, 5000));
    EXPECT_FALSE(store->knownRelatedItems(shown, 3).has_value());
}

TEST_F(StoreRelated, ALibraryOfOneItemRelatesNothing)
{
    const VeskItem only = wordsItem(QStringLiteral("only"), QStringLiteral("alone"), 1);
    seed({only});
    auto store = makeStore();
    EXPECT_TRUE(store->relatedItems(only, 3).isEmpty());
    EXPECT_TRUE(StoreInternals::searchState(*store).relatedCache.isEmpty());
}

TEST_F(StoreRelated, VersionsOfAFileAreFoundAcrossTheLibrary)
{
    const VeskItem report = makeItem(QStringLiteral("Report final.pdf"), 1'600'000'000, VeskKind::File,
        QStringLiteral("/lib/Items/A/Report final.pdf"));
    const VeskItem v2 = makeItem(QStringLiteral("report_v2.pdf"), 1'600'000'100, VeskKind::File,
        QStringLiteral("/lib/Items/B/report_v2.pdf"));
    const VeskItem docx = makeItem(QStringLiteral("Report final.docx"), 1'600'000'200, VeskKind::File,
        QStringLiteral("/lib/Items/C/Report final.docx"));
    const VeskItem note = makeItem(QStringLiteral("Report"), 1'600'000'300);
    seed({report, v2, docx, note});
    auto store = makeStore();

    EXPECT_EQ(ids(store->relatedVersions(report, 6)), QList<QUuid>{v2.id});
    EXPECT_EQ(ids(store->relatedVersions(v2, 6)), QList<QUuid>{report.id});
    EXPECT_TRUE(store->relatedVersions(note, 6).isEmpty());
}

TEST_F(StoreRelated, ADerivedItemResolvesToItsSourceWhileTheSourceExists)
{
    const VeskItem source = makeItem(QStringLiteral("source"), 1);
    VeskItem derived = makeItem(QStringLiteral("derived"), 2);
    derived.sourceItemID = source.id;
    VeskItem orphan = makeItem(QStringLiteral("orphan"), 3);
    orphan.sourceItemID = QUuid::createUuid();
    seed({source, derived, orphan});
    auto store = makeStore();

    EXPECT_EQ(store->sourceItem(derived).id, source.id);
    EXPECT_EQ(store->sourceItem(source).id, source.id);
    EXPECT_EQ(store->sourceItem(orphan).id, orphan.id);
}
