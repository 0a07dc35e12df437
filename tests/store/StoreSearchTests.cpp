#include "platform/Uuid.h"
#include "search/LexicalMatch.h"
#include "store/SearchState.h"
#include "store/StoreTestSupport.h"
#include "store/StoreInternals.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreSearch : public StoreTest {
protected:
    static VeskItem textItem(const QString& title, const QString& text, qint64 secs)
    {
        VeskItem item = makeItem(title, secs);
        item.text = text;
        item.searchableText = text;
        return item;
    }
};

TEST_F(StoreSearch, RefreshPublishesScoredItemsAndTheFirstSixReasons)
{
    const qint64 now = clock->now().toSecsSinceEpoch();
    QList<VeskItem> items;
    for (int i = 0; i < 10; ++i)
        items.append(textItem(QStringLiteral("report %1").arg(i), QStringLiteral("body"), now - 100 * i));
    items.append(textItem(QStringLiteral("unrelated"), QStringLiteral("nothing"), now));
    seed(items);
    auto store = makeStore();

    store->refreshFilteredItems(QStringLiteral("  Report "));
    ASSERT_EQ(store->filteredItems().size(), 10);
    // Equal scores: newest first.
    EXPECT_EQ(store->filteredItems().first().title, QStringLiteral("report 0"));
    EXPECT_EQ(store->filteredItems().last().title, QStringLiteral("report 9"));
    EXPECT_EQ(store->retrievalHints().size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(store->retrievalHint(store->filteredItems()[i].id), QStringLiteral("Matched title"));

    // A used item rises above equally scored newer ones.
    store->recordUsage(items[9].id);
    store->refreshFilteredItems(QStringLiteral("report"));
    EXPECT_EQ(store->filteredItems().first().id, items[9].id);

    store->refreshFilteredItems(QStringLiteral("zzzz"));
    EXPECT_TRUE(store->filteredItems().isEmpty());
    EXPECT_TRUE(store->retrievalHints().isEmpty());
}

TEST_F(StoreSearch, EmptyQueryShowsTheDefaultOrderAndEndsTheDeepTask)
{
    const VeskItem older = makeItem(QStringLiteral("older"), 100);
    const VeskItem newer = makeItem(QStringLiteral("newer"), 200);
    const VeskItem back = makeItem(QStringLiteral("back"), 50);
    seed({older, newer, back});
    auto store = makeStore();
    store->startDeepSearch(QStringLiteral("older"));
    ASSERT_TRUE(StoreInternals::searchState(*store).deepSearchTask);
    const CancellationToken deepTask = *StoreInternals::searchState(*store).deepSearchTask;
    store->refreshFilteredItems(QStringLiteral("older"));
    EXPECT_FALSE(deepTask.isCancelled());

    store->setBroughtBackIDs({back.id});
    store->refreshFilteredItems(QStringLiteral(" \n"));
    EXPECT_TRUE(deepTask.isCancelled());
    EXPECT_FALSE(StoreInternals::searchState(*store).deepSearchTask);
    EXPECT_TRUE(store->retrievalHints().isEmpty());
    EXPECT_EQ(titles(store->filteredItems()), (QStringList{"back", "newer", "older"}));

    // A newer deep search cancels the running one.
    store->startDeepSearch(QStringLiteral("newer"));
    const CancellationToken first = *StoreInternals::searchState(*store).deepSearchTask;
    store->startDeepSearch(QStringLiteral("newe"));
    EXPECT_TRUE(first.isCancelled());
}

TEST_F(StoreSearch, IndexFollowsItemChanges)
{
    const VeskItem item = makeItem(QStringLiteral("draft"), 100);
    seed({item});
    auto store = makeStore();
    VeskItem renamed = item;
    renamed.title = QStringLiteral("Final plan");
    ASSERT_TRUE(store->updateItem(renamed));
    store->refreshFilteredItems(QStringLiteral("plan"));
    EXPECT_EQ(titles(store->filteredItems()), QStringList{"Final plan"});
    store->refreshFilteredItems(QStringLiteral("draft"));
    // Still found through its searchable text, shown as it is now.
    EXPECT_EQ(titles(store->filteredItems()), QStringList{"Final plan"});

    const QHash<QString, QSet<QUuid>> before = StoreInternals::searchState(*store).index.tokenTable();
    store->refreshSearchAfterItemChange(QUuid::createUuid());
    EXPECT_EQ(StoreInternals::searchState(*store).index.tokenTable(), before);
}

TEST_F(StoreSearch, UsageSignalsAreStoredAndReadBack)
{
    const VeskItem item = makeItem(QStringLiteral("a"), 100);
    seed({item});
    auto store = makeStore();
    store->recordUsage(item.id);
    clock->advance(2.5);
    store->recordUsage(item.id);

    const QJsonObject stored = QJsonDocument::fromJson(settings->data(VeskStore::usageDefaultsKey)).object();
    const QJsonObject entry = stored.value(uuidString(item.id)).toObject();
    EXPECT_EQ(entry.value(QStringLiteral("selectionCount")).toInt(), 2);
    EXPECT_DOUBLE_EQ(entry.value(QStringLiteral("lastSelectedAt")).toDouble(),
        double(clock->now().toMSecsSinceEpoch()) / 1000.0 - 978'307'200.0);

    store.reset();
    store = makeStore();
    EXPECT_NEAR(store->usageScore(item.id, clock->now()), std::log2(3.0) / 5.0 * 0.58 + 0.42, 1e-12);

    settings->setData(VeskStore::usageDefaultsKey, "{broken");
    store.reset();
    store = makeStore();
    EXPECT_EQ(store->usageScore(item.id, clock->now()), 0.0);
    EXPECT_TRUE(logLines.isEmpty());
}

TEST_F(StoreSearch, ManualTagsAreKeptSearchedAndRemoved)
{
    VeskItem item = makeItem(QStringLiteral("Plan"), 100);
    item.note = QStringLiteral("an #Idea");
    const VeskItem other = makeItem(QStringLiteral("Other"), 50);
    seed({item, other});
    auto store = makeStore();

    store->removeManualTag(QStringLiteral("alpha"), other);
    EXPECT_FALSE(settings->contains(VeskStore::manualTagsDefaultsKey));

    EXPECT_TRUE(store->addManualTag(QStringLiteral("  #Work Trip "), item));
    EXPECT_FALSE(store->addManualTag(QStringLiteral("worktrip"), item));
    EXPECT_FALSE(store->addManualTag(QStringLiteral("###"), item));
    EXPECT_TRUE(store->addManualTag(QStringLiteral("alpha"), item));
    EXPECT_EQ(store->tags(item), (QStringList{"alpha", "idea", "worktrip"}));
    EXPECT_EQ(store->manualTags(item), (QSet<QString>{"alpha", "worktrip"}));

    store->refreshFilteredItems(QStringLiteral("#worktrip"));
    ASSERT_EQ(titles(store->filteredItems()), QStringList{"Plan"});
    EXPECT_EQ(store->retrievalHint(item.id), QStringLiteral("Matched #worktrip"));

    store->searchForTag(QStringLiteral("#Work"));
    EXPECT_EQ(store->searchText(), QStringLiteral("#work"));
    store->searchForTag(QStringLiteral("##"));
    EXPECT_EQ(store->searchText(), QStringLiteral("#work"));

    // Removing a hashtag of the text still saves; the hashtag stays.
    store->removeManualTag(QStringLiteral("idea"), item);
    EXPECT_EQ(store->tags(item), (QStringList{"alpha", "idea", "worktrip"}));
    store->removeManualTag(QStringLiteral("alpha"), item);
    store->removeManualTag(QStringLiteral("worktrip"), item);
    EXPECT_TRUE(store->manualTags(item).isEmpty());
    EXPECT_EQ(settings->data(VeskStore::manualTagsDefaultsKey), QByteArray("{}"));
    store->refreshFilteredItems(QStringLiteral("#worktrip"));
    EXPECT_TRUE(store->filteredItems().isEmpty());

    // Tags come back at the next start.
    store->addManualTag(QStringLiteral("kept"), item);
    store.reset();
    store = makeStore();
    store->refreshFilteredItems(QStringLiteral("#kept"));
    EXPECT_EQ(titles(store->filteredItems()), QStringList{"Plan"});
}

TEST_F(StoreSearch, PeopleFromNamedPoolsAreSearchable)
{
    const VeskItem photo = makeItem(QStringLiteral("Beach day"), 100, VeskKind::Image);
    const VeskItem other = makeItem(QStringLiteral("Other"), 50, VeskKind::Image);
    seed({photo, other});
    const QUuid named = QUuid::createUuid();
    const QUuid blank = QUuid::createUuid();
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->upsertFaceCluster({named, QStringLiteral(" Big Sis "), clock->now(), clock->now()}).hasValue());
        ASSERT_TRUE(db->upsertFaceCluster({blank, QStringLiteral("  "), clock->now(), clock->now()}).hasValue());
        VeskFaceRecord face;
        face.id = QUuid::createUuid();
        face.veskID = photo.id;
        face.clusterID = named;
        face.createdAt = clock->now();
        VeskFaceRecord unnamed = face;
        unnamed.id = QUuid::createUuid();
        unnamed.veskID = other.id;
        unnamed.clusterID = blank;
        ASSERT_TRUE(db->replaceFaces(photo.id, {face}).hasValue());
        ASSERT_TRUE(db->replaceFaces(other.id, {unnamed}).hasValue());
    }
    auto store = makeStore();
    const auto people = store->personNamesByItem();
    EXPECT_EQ(people.value(photo.id), QSet<QString>{"Big Sis"});
    EXPECT_FALSE(people.contains(other.id));

    store->refreshFilteredItems(QStringLiteral("sis"));
    EXPECT_EQ(titles(store->filteredItems()), QStringList{"Beach day"});
    EXPECT_EQ(store->retrievalHint(photo.id), QStringLiteral("Contains Big Sis"));
    EXPECT_DOUBLE_EQ(store->lexicalMatch(QStringLiteral("sis")).scores.value(photo.id), 21.5);

    // With a blank search a face change rebuilds but leaves the shown list alone.
    const QList<VeskItem> shown = store->filteredItems();
    store->setSearchText(QStringLiteral("  "));
    store->refreshSearchAfterFaceChange();
    EXPECT_EQ(store->filteredItems(), shown);
}

} // namespace
