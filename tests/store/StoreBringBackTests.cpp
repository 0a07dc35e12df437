#include "common/LocalTimeZone.h"
#include "platform/Uuid.h"
#include "store/BringBackSchedule.h"
#include "store/StoreTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <sqlite3.h>
#include <string_view>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreBringBack : public StoreTest {
protected:
    QDateTime now() const { return clock->now(); }

    QJsonObject storedReminders() const
    {
        return QJsonDocument::fromJson(settings->data(VeskStore::bringBackDefaultsKey)).object();
    }

    void storeReminders(const QJsonObject& reminders)
    {
        settings->setData(VeskStore::bringBackDefaultsKey, QJsonDocument(reminders).toJson());
    }

    // Seconds from 1 January 2001 UTC, the stored form.
    static double referenceSeconds(const QDateTime& date)
    {
        return double(date.toMSecsSinceEpoch()) / 1000.0 - 978'307'200.0;
    }

    // Timers of the store still waiting to run.
    int pendingTimers() const { return timers->pendingCount(); }
};

// Refuses, on every connection opened meanwhile, every read of the item table.
struct DeniedItemReads {
    static int deny(void*, int action, const char* table, const char*, const char*, const char*)
    {
        return action == SQLITE_READ && table && std::string_view(table) == "vesks" ? SQLITE_DENY : SQLITE_OK;
    }
    static int install(sqlite3* db, char**, const sqlite3_api_routines*)
    {
        sqlite3_set_authorizer(db, &DeniedItemReads::deny, nullptr);
        return SQLITE_OK;
    }
    DeniedItemReads() { sqlite3_auto_extension(reinterpret_cast<void (*)()>(&DeniedItemReads::install)); }
    ~DeniedItemReads() { sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&DeniedItemReads::install)); }
};

} // namespace

TEST_F(StoreBringBack, OnlyFutureDatesAreScheduledAndEachSetSavesAndSaysSo)
{
    ScopedLocalTime zone("UTC");
    const VeskItem item = makeItem(QStringLiteral("Passport renewal"), 1'600'000'000);
    seed({item});
    auto store = makeStore();
    const QByteArray before = settings->data(VeskStore::bringBackDefaultsKey);

    // Now and a moment ago are refused without a trace.
    store->setBringBack(item, now());
    store->setBringBack(item, now().addSecs(-5));
    store->setBringBack(item, QDateTime());
    EXPECT_TRUE(store->bringBackDates().isEmpty());
    EXPECT_FALSE(store->bringBackNotice());
    EXPECT_EQ(settings->data(VeskStore::bringBackDefaultsKey), before);
    EXPECT_EQ(pendingTimers(), 0);

    const QDateTime when = now().addSecs(60);
    store->setBringBack(item, when);
    EXPECT_EQ(store->scheduledBringBackDate(item.id), when);
    ASSERT_TRUE(store->bringBackNotice());
    const VeskBringBackNotice notice = *store->bringBackNotice();
    EXPECT_EQ(notice.kind, VeskBringBackNoticeKind::Scheduled);
    EXPECT_EQ(notice.itemID, item.id);
    EXPECT_EQ(notice.title, QStringLiteral("Bring Back set"));
    // 1,700,000,060 s: Tuesday 14 November 2023, 22:14:20 UTC.
    EXPECT_EQ(notice.detail, QStringLiteral("Nov 14, 2023, 10:14 PM"));
    EXPECT_EQ(pendingTimers(), 1);

    // A second date replaces the first, with a notice of its own.
    const QDateTime later = now().addDays(2);
    store->setBringBack(item, later);
    EXPECT_EQ(store->bringBackDates().size(), 1);
    EXPECT_EQ(store->scheduledBringBackDate(item.id), later);
    EXPECT_NE(store->bringBackNotice()->id, notice.id);
    EXPECT_EQ(pendingTimers(), 1);
    const QJsonObject stored = storedReminders();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_DOUBLE_EQ(stored.value(uuidString(item.id)).toDouble(), referenceSeconds(later));
}

TEST_F(StoreBringBack, TheStoredFormNamesUpperCaseIdentifiersWithSecondsSince2001)
{
    const VeskItem a = makeItem(QStringLiteral("a"), 1);
    const VeskItem b = makeItem(QStringLiteral("b"), 2);
    seed({a, b});
    auto store = makeStore();
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(1'800'000'000'250, Qt::UTC);
    const QDateTime second = QDateTime::fromSecsSinceEpoch(1'900'000'000, Qt::UTC);
    store->setBringBack(a, first);
    store->setBringBack(b, second);

    const QJsonObject stored = storedReminders();
    ASSERT_EQ(stored.size(), 2);
    for (const QString& key : stored.keys()) {
        EXPECT_EQ(key, key.toUpper());
        EXPECT_TRUE(stored.value(key).isDouble());
    }
    // The fraction of a second is kept.
    EXPECT_DOUBLE_EQ(stored.value(uuidString(a.id)).toDouble(), 821'692'800.25);
    EXPECT_DOUBLE_EQ(stored.value(uuidString(b.id)).toDouble(), 921'692'800.0);

    // Read back by the next start as they were written.
    store.reset();
    store = makeStore();
    EXPECT_EQ(store->scheduledBringBackDate(a.id), first);
    EXPECT_EQ(store->scheduledBringBackDate(b.id), second);
}

TEST_F(StoreBringBack, AReminderComesDueThroughTheTimerAndLeadsTheEmptySearch)
{
    const VeskItem older = makeItem(QStringLiteral("older"), 1'600'000'000);
    const VeskItem newest = makeItem(QStringLiteral("newest"), 1'650'000'000);
    seed({older, newest});
    auto store = makeStore();
    store->refreshFilteredItems(QString());
    EXPECT_EQ(titles(store->filteredItems()), (QStringList{"newest", "older"}));

    store->setBringBack(older, now().addSecs(60));
    passTime(59);
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());

    passTime(1);
    EXPECT_EQ(store->broughtBackIDs(), QSet<QUuid>{older.id});
    EXPECT_TRUE(store->bringBackDates().isEmpty());
    EXPECT_TRUE(storedReminders().isEmpty());
    EXPECT_EQ(settings->data(VeskStore::bringBackDefaultsKey), QByteArray("{}"));
    EXPECT_EQ(titles(store->filteredItems()), (QStringList{"older", "newest"}));
    ASSERT_TRUE(store->bringBackNotice());
    EXPECT_EQ(store->bringBackNotice()->kind, VeskBringBackNoticeKind::Returned);
    EXPECT_EQ(store->bringBackNotice()->title, QStringLiteral("Brought Back"));
    EXPECT_EQ(store->bringBackNotice()->detail, QStringLiteral("older"));
    EXPECT_EQ(store->bringBackNotice()->itemID, older.id);
    EXPECT_EQ(pendingTimers(), 0);

    // Opening it alone takes the mark away; the list is then newest first until the next
    // lexical refresh.
    store->select(older.id);
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());
    EXPECT_EQ(titles(store->filteredItems()), (QStringList{"newest", "older"}));
}

TEST_F(StoreBringBack, AReminderMonthsAheadWaitsInStepsOfAnHourAgainstTheWallClock)
{
    const VeskItem item = makeItem(QStringLiteral("tax return"), 1);
    seed({item});
    auto store = makeStore();
    const QDateTime when = now().addDays(120);
    store->setBringBack(item, when);

    // An hour of real time passes: the timer looks at the clock and waits again.
    passTime(3600);
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());
    EXPECT_EQ(pendingTimers(), 1);

    // The computer sleeps for four months: the wall clock moves on while the timer does not.
    clock->set(when.addSecs(30));
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());
    // At the end of the step under way it is delivered, not months later.
    timers->advance(BringBackSchedule::stepMs);
    EXPECT_EQ(store->broughtBackIDs(), QSet<QUuid>{item.id});
    EXPECT_EQ(store->bringBackNotice()->detail, QStringLiteral("tax return"));

    // The clock set back: a step that ends before the date finds nothing due and waits again.
    store->setBringBack(item, now().addSecs(7200));
    clock->set(now().addSecs(-86'400));
    timers->advance(BringBackSchedule::stepMs * 2);
    EXPECT_TRUE(store->scheduledBringBackDate(item.id));
    EXPECT_EQ(pendingTimers(), 1);
}

TEST_F(StoreBringBack, RemindersDueWhileClosedAllReturnAtLaunchWithOneNoticeForTheEarliest)
{
    const VeskItem a = makeItem(QStringLiteral("a"), 1'600'000'000);
    const VeskItem b = makeItem(QStringLiteral("b"), 1'600'000'300);
    const VeskItem c = makeItem(QStringLiteral("c"), 1'600'000'200);
    const VeskItem future = makeItem(QStringLiteral("future"), 1'600'000'100);
    const VeskItem other = makeItem(QStringLiteral("other"), 1'690'000'000);
    seed({a, b, c, future, other});
    storeReminders({{uuidString(a.id), referenceSeconds(now().addDays(-1))},
                    {uuidString(b.id), referenceSeconds(now().addDays(-3))},
                    {uuidString(c.id), referenceSeconds(now().addSecs(-1))},
                    {uuidString(future.id), referenceSeconds(now().addDays(3))}});

    auto store = makeStore();
    EXPECT_EQ(store->broughtBackIDs(), (QSet<QUuid>{a.id, b.id, c.id}));
    ASSERT_TRUE(store->bringBackNotice());
    EXPECT_EQ(store->bringBackNotice()->detail, QStringLiteral("b"));
    EXPECT_EQ(store->bringBackDates().keys(), QList<QUuid>{future.id});
    EXPECT_EQ(storedReminders().keys(), QStringList{uuidString(future.id)});
    EXPECT_EQ(pendingTimers(), 1);

    // The kept order has the marks in front from the first frame on, each part newest first, and
    // a refresh does not change it.
    EXPECT_EQ(titles(store->filteredItems()), (QStringList{"b", "c", "a", "other", "future"}));
    store->refreshFilteredItems(QString());
    EXPECT_EQ(titles(store->filteredItems()), (QStringList{"b", "c", "a", "other", "future"}));
}

TEST_F(StoreBringBack, EqualDatesKeepTheLibraryOrderAndASearchKeepsItsOwnList)
{
    const VeskItem first = makeItem(QStringLiteral("first twin"), 1'600'000'000);
    const VeskItem second = makeItem(QStringLiteral("second twin"), 1'600'000'000);
    const VeskItem lone = makeItem(QStringLiteral("lone"), 1'650'000'000);
    seed({first, second, lone});
    auto store = makeStore();
    const QList<VeskItem> libraryOrder = store->items();

    store->setSearchText(QStringLiteral("twin"));
    store->refreshFilteredItems(store->searchText());
    const QList<VeskItem> searched = store->filteredItems();
    store->setBringBack(second, now().addSecs(120));
    store->setBringBack(first, now().addSecs(120));
    passTime(120);
    EXPECT_EQ(store->broughtBackIDs().size(), 2);
    EXPECT_EQ(store->filteredItems(), searched);

    // Clearing the search applies the marks: both twins lead, in the library's order.
    store->setSearchText(QString());
    store->refreshFilteredItems(QString());
    QStringList expected;
    for (const VeskItem& item : libraryOrder) {
        if (item.id != lone.id)
            expected.append(item.title);
    }
    expected.append(QStringLiteral("lone"));
    EXPECT_EQ(titles(store->filteredItems()), expected);
}

TEST_F(StoreBringBack, CancellingAlwaysSavesReschedulesAndSaysSo)
{
    const VeskItem kept = makeItem(QStringLiteral("kept"), 1);
    const VeskItem plain = makeItem(QStringLiteral("Nothing scheduled"), 2);
    seed({kept, plain});
    auto store = makeStore();
    store->setBringBack(kept, now().addDays(1));
    settings->setData(VeskStore::bringBackDefaultsKey, QByteArray("stale"));

    store->cancelBringBack(plain);
    ASSERT_TRUE(store->bringBackNotice());
    EXPECT_EQ(store->bringBackNotice()->kind, VeskBringBackNoticeKind::Cancelled);
    EXPECT_EQ(store->bringBackNotice()->title, QStringLiteral("Bring Back cancelled"));
    EXPECT_EQ(store->bringBackNotice()->detail, QStringLiteral("Nothing scheduled"));
    EXPECT_EQ(storedReminders().keys(), QStringList{uuidString(kept.id)});
    EXPECT_EQ(pendingTimers(), 1);

    store->cancelBringBack(kept);
    EXPECT_TRUE(store->bringBackDates().isEmpty());
    EXPECT_EQ(pendingTimers(), 0);
    // Nothing comes back once cancelled.
    passTime(2 * 86'400);
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());

    // A new date on a brought-back item takes its mark away.
    store->setBringBack(kept, now().addSecs(60));
    passTime(60);
    ASSERT_EQ(store->broughtBackIDs(), QSet<QUuid>{kept.id});
    store->setBringBack(kept, now().addSecs(60));
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());
}

TEST_F(StoreBringBack, RemindersOfItemsThatAreGoneArePrunedSilentlyAndOnlyAPruningIsWritten)
{
    const VeskItem item = makeItem(QStringLiteral("here"), 1);
    seed({item});
    const QUuid gone = QUuid::createUuid();
    const QJsonObject kept{{uuidString(item.id), referenceSeconds(now().addDays(1))}};
    QJsonObject withGone = kept;
    withGone.insert(uuidString(gone), referenceSeconds(now().addDays(-1)));

    for (const bool hasGone : {true, false}) {
        SCOPED_TRACE(hasGone ? "a reminder of a deleted item" : "nothing to prune");
        storeReminders(hasGone ? withGone : kept);
        const QByteArray stored = settings->data(VeskStore::bringBackDefaultsKey);

        auto store = makeStore();
        EXPECT_FALSE(store->bringBackNotice());
        EXPECT_TRUE(store->broughtBackIDs().isEmpty());
        EXPECT_EQ(store->bringBackDates().keys(), QList<QUuid>{item.id});
        EXPECT_EQ(storedReminders().keys(), QStringList{uuidString(item.id)});
        // An unchanged start leaves the stored bytes as they were written.
        EXPECT_EQ(settings->data(VeskStore::bringBackDefaultsKey) == stored, !hasGone);
    }
}

TEST_F(StoreBringBack, WithoutTheWholeLibraryStoredRemindersAreKept)
{
    const QUuid unknown = QUuid::createUuid();
    const QJsonObject reminders{{uuidString(unknown), referenceSeconds(now().addDays(-1))},
                                {uuidString(QUuid::createUuid()), referenceSeconds(now().addDays(5))}};
    storeReminders(reminders);

    // No database: nothing is known, nothing is delivered, nothing is erased, and the timer does
    // not spin on a due reminder it cannot deliver.
    auto store = makeStore(false);
    EXPECT_FALSE(store->itemsLoaded());
    EXPECT_FALSE(store->bringBackNotice());
    EXPECT_EQ(store->bringBackDates().size(), 2);
    EXPECT_EQ(storedReminders(), reminders);
    EXPECT_EQ(pendingTimers(), 0);

    // A library that could not be opened takes no new items, so their reminders cannot be lost
    // with them; the stored ones stay as they were.
    const VeskItem loose = makeItem(QStringLiteral("loose"), 1'690'000'000);
    EXPECT_FALSE(store->commitNewItem(loose));
    passTime(60);
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());
    EXPECT_EQ(storedReminders(), reminders);
}

TEST_F(StoreBringBack, AFailedReadOfTheLibraryKeepsEveryReminder)
{
    const VeskItem item = makeItem(QStringLiteral("unreadable"), 1);
    seed({item});
    const QJsonObject reminders{{uuidString(item.id), referenceSeconds(now().addDays(-1))},
                                {uuidString(QUuid::createUuid()), referenceSeconds(now().addDays(-2))}};
    storeReminders(reminders);

    std::unique_ptr<VeskStore> store;
    {
        DeniedItemReads denied;
        store = makeStore();
    }
    ASSERT_FALSE(store->itemsLoaded());
    EXPECT_EQ(storedReminders(), reminders);
    EXPECT_EQ(store->bringBackDates().size(), 2);
    EXPECT_TRUE(store->broughtBackIDs().isEmpty());
    EXPECT_FALSE(store->bringBackNotice());

    // The next start that reads the library delivers them.
    store.reset();
    store = makeStore();
    EXPECT_EQ(store->broughtBackIDs(), QSet<QUuid>{item.id});
    EXPECT_TRUE(storedReminders().isEmpty());
}

// A library read in the background delivers what came due while it was closed once search is
// ready: the reminders are saved with a sync to disk, which search does not wait for.
TEST_F(StoreBringBack, RemindersDueAtALaunchReadInTheBackgroundComeOnceSearchIsReady)
{
    QList<VeskItem> library;
    for (int i = 0; i < VeskStore::firstPageSize + 10; ++i)
        library.append(makeItem(QStringLiteral("note %1").arg(i), 1'600'000'000 + i * 60));
    seed(library);
    const VeskItem& oldest = library.first();
    storeReminders({{uuidString(oldest.id), referenceSeconds(now().addDays(-1))}});

    auto store = makeStore(true, false);
    int readyTimes = 0;
    QObject::connect(store.get(), &VeskStore::searchReadyChanged, store.get(), [&] {
        if (!store->searchReady())
            return;
        ++readyTimes;
        EXPECT_TRUE(store->broughtBackIDs().isEmpty());
        EXPECT_EQ(storedReminders().keys(), QStringList{uuidString(oldest.id)});
    });
    store->waitForStartup();
    EXPECT_EQ(readyTimes, 1);
    EXPECT_EQ(store->broughtBackIDs(), QSet<QUuid>{oldest.id});
    EXPECT_TRUE(storedReminders().isEmpty());
    ASSERT_FALSE(store->filteredItems().isEmpty());
    EXPECT_EQ(store->filteredItems().first().id, oldest.id);
}
