// The library's health on its own: a library file in a temporary folder and a host that stands
// for the rest of the store.
#include "store/FaultInjection.h"
#include "store/LibraryHealth.h"
#include "store/LibraryHealthHost.h"
#include "store/StoreTestSupport.h"

namespace vesk::test {
namespace {

class FakeHealthHost final : public LibraryHealthHost {
public:
    SQLiteDatabase* database() const override { return db.get(); }
    std::optional<VeskItem> currentItem(const QUuid& id) const override
    {
        lookups.append(id);
        const auto it = items.constFind(id);
        return it == items.cend() ? std::nullopt : std::optional<VeskItem>(*it);
    }
    std::optional<QByteArray> richText(const QUuid&) const override { return std::nullopt; }
    bool libraryHasHeldItems() const override { return heldItems; }
    void markLibraryHasHeldItems() override { heldItems = true; }
    void closeDamagedLibrary() override { db.reset(); }
    void adoptNewLibrary(std::unique_ptr<SQLiteDatabase> database) override { db = std::move(database); }

    std::unique_ptr<SQLiteDatabase> db;
    QHash<QUuid, VeskItem> items;
    mutable QList<QUuid> lookups;
    bool heldItems = false;
};

class LibraryHealthTest : public StoreTest {
protected:
    VeskItem addItem(const QString& title)
    {
        const VeskItem item = makeItem(title, 1000 + host.items.size());
        host.items.insert(item.id, item);
        return item;
    }
    QHash<QUuid, QString> storedTitles() const
    {
        QHash<QUuid, QString> titles;
        for (const VeskItem& item : storedItems())
            titles.insert(item.id, item.title);
        return titles;
    }

    FakeHealthHost host;
};

TEST_F(LibraryHealthTest, RowsThatWaitedForTheCheckAreWrittenInTheirOrderAsTheyAreThenAndDeferredWorkFollows)
{
    LibraryHealth health(services(), host);
    host.db = health.openLibrary();
    ASSERT_TRUE(host.db);
    ASSERT_TRUE(health.libraryCheckPending());

    const VeskItem first = addItem(QStringLiteral("first"));
    const VeskItem second = addItem(QStringLiteral("second"));
    const VeskItem third = addItem(QStringLiteral("third"));
    for (const VeskItem& item : {third, first, second})
        EXPECT_TRUE(health.holdRowForLibraryCheck(item.id));
    EXPECT_FALSE(health.writeItem(first, std::nullopt)) << "a waiting row is not written before the check";
    EXPECT_FALSE(health.rowIsWritten(first.id));
    EXPECT_TRUE(health.unsavedItemIDs().isEmpty()) << "waiting is no failure";

    host.items[second.id].title = QStringLiteral("second, edited while it waited");
    host.items.remove(first.id); // deleted while it waited
    QHash<QUuid, QString> storedWhenWorkRan;
    int workRuns = 0;
    health.afterLibraryCheck([&] {
        ++workRuns;
        storedWhenWorkRan = storedTitles();
    });
    EXPECT_EQ(workRuns, 0);

    host.lookups.clear();
    health.waitForLibraryCheck();
    EXPECT_FALSE(health.libraryCheckPending());
    EXPECT_EQ(host.lookups, (QList<QUuid>{third.id, first.id, second.id})) << "rows go in the order they came";
    const QHash<QUuid, QString> expected{{third.id, QStringLiteral("third")},
                                         {second.id, QStringLiteral("second, edited while it waited")}};
    EXPECT_EQ(storedTitles(), expected);
    EXPECT_EQ(workRuns, 1);
    EXPECT_EQ(storedWhenWorkRan, expected) << "deferred work follows the rows that waited";
    EXPECT_TRUE(health.savingItemIDs().isEmpty());
    EXPECT_TRUE(health.unsavedItemIDs().isEmpty());
    EXPECT_TRUE(host.heldItems);
    EXPECT_EQ(snapshots->launchRequests, 1);

    health.afterLibraryCheck([&] { ++workRuns; });
    EXPECT_EQ(workRuns, 2) << "once the check passed, work runs at once";
    EXPECT_FALSE(health.holdRowForLibraryCheck(addItem(QStringLiteral("later")).id));
}

TEST_F(LibraryHealthTest, AHeldLaunchSnapshotIsAskedForOnceWhenBothTheCheckHasPassedAndTheHoldIsReleased)
{
    struct Case {
        const char* name;
        bool hold;
        bool releaseBeforeCheck;
        int afterCheck;   // launch requests once the check passed
        int afterRelease; // and once the hold was released (again)
    };
    const Case cases[] = {
        {"not held", false, false, 1, 1},
        {"released after the check", true, false, 0, 1},
        {"released before the check", true, true, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        snapshots->launchRequests = 0;
        LibraryHealth health(services(), host);
        host.db = health.openLibrary();
        ASSERT_TRUE(host.db);
        if (c.hold)
            health.holdLaunchSnapshot();
        if (c.releaseBeforeCheck)
            health.releaseLaunchSnapshot();
        health.waitForLibraryCheck();
        EXPECT_EQ(snapshots->launchRequests, c.afterCheck);
        health.releaseLaunchSnapshot();
        health.releaseLaunchSnapshot();
        EXPECT_EQ(snapshots->launchRequests, c.afterRelease);
        host.db.reset();
    }
}

TEST_F(LibraryHealthTest, WorkThatWaitedForACheckThatFindsDamageNeverRunsAndWhoeverCountedOnItHearsSo)
{
    QList<VeskItem> library;
    for (int i = 0; i < 600; ++i)
        library.append(makeItem(QStringLiteral("Note %1").arg(i), 1000 + i));
    seed(library);
    ASSERT_TRUE(damagePagesReadingNeverVisits(databasePath(), 3));
    LibraryHealth health(services(), host);
    host.db = health.openLibrary();
    ASSERT_TRUE(host.db);

    int runs = 0;
    int dropped = 0;
    health.afterLibraryCheck([&] { ++runs; }, [&] { ++dropped; });
    health.afterLibraryCheck([&] { ++runs; }); // nobody to tell
    health.waitForLibraryCheck();
    ASSERT_TRUE(health.libraryProblem());
    EXPECT_EQ(health.libraryProblem()->kind, VeskLibraryProblem::Kind::Damaged);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(dropped, 1);
}

TEST_F(LibraryHealthTest, UnsavedItemsAreTriedAgainAtTheSlowIntervalUntilTheyAreWritten)
{
    VeskServices s = services();
    s.unsavedRetryIntervalMs = 1000;
    LibraryHealth health(s, host);
    const VeskItem first = addItem(QStringLiteral("first"));
    const VeskItem second = addItem(QStringLiteral("second"));

    // No library file to write into: both are kept on screen, and said in one notice.
    EXPECT_FALSE(health.writeItem(first, std::nullopt));
    EXPECT_FALSE(health.writeItem(second, std::nullopt));
    EXPECT_EQ(health.unsavedItemIDs(), (QSet<QUuid>{first.id, second.id}));
    ASSERT_TRUE(health.failureNotice());
    EXPECT_EQ(health.failureNotice()->title, QStringLiteral("Not saved"));
    EXPECT_EQ(health.failureNotice()->count, 2);
    EXPECT_EQ(timers->pendingCount(), 1) << "one retry, however many items wait";

    // Still no file at the retry: it tries again an interval later.
    timers->advance(s.unsavedRetryIntervalMs);
    EXPECT_EQ(health.unsavedItemIDs().size(), 2);
    EXPECT_EQ(timers->pendingCount(), 1);

    host.db = openDatabase();
    host.items[second.id].title = QStringLiteral("second, renamed meanwhile");
    timers->advance(s.unsavedRetryIntervalMs - 1);
    EXPECT_EQ(health.unsavedItemIDs().size(), 2) << "not before the interval";
    timers->advance(1);
    EXPECT_TRUE(health.unsavedItemIDs().isEmpty());
    EXPECT_FALSE(health.failureNotice()) << "everything it spoke of is kept now";
    EXPECT_EQ(timers->pendingCount(), 0) << "nothing left to retry";
    EXPECT_EQ(storedTitles(), (QHash<QUuid, QString>{{first.id, QStringLiteral("first")},
                                                     {second.id, QStringLiteral("second, renamed meanwhile")}}));
}

TEST_F(LibraryHealthTest, FailuresOfATitleGatherInOneNoticeAndOtherTitlesWaitTheirTurn)
{
    LibraryHealth health(services(), host);
    const VeskItem item = addItem(QStringLiteral("a note"));
    const struct {
        const char* step;
        std::function<void()> act;
        std::optional<QString> title;
        int count;
        bool sameNotice;
        const char* detail; // null: not looked at
        int waiting;
    } steps[] = {
        {"a failure", [&] { health.reportFailure(QStringLiteral("Not moved"), QStringLiteral("one")); },
         QStringLiteral("Not moved"), 1, false, "one", 0},
        {"the same again, named beside it",
         [&] { health.reportFailure(QStringLiteral("Not moved"), QStringLiteral("two")); },
         QStringLiteral("Not moved"), 2, true, "one\ntwo", 0},
        {"a repeat is counted, not named twice",
         [&] { health.reportFailure(QStringLiteral("Not moved"), QStringLiteral("one")); },
         QStringLiteral("Not moved"), 3, true, "one\ntwo", 0},
        {"another kind waits", [&] { (void)health.writeItem(item, std::nullopt); }, QStringLiteral("Not moved"), 3,
         true, nullptr, 1},
        {"a setting waits after it",
         [&] { health.reportFailure(QStringLiteral("Setting not kept"), QStringLiteral("x")); },
         QStringLiteral("Not moved"), 3, true, nullptr, 2},
        {"a waiting notice gathers its own kind",
         [&] { health.reportFailure(QStringLiteral("Setting not kept"), QStringLiteral("y")); },
         QStringLiteral("Not moved"), 3, true, nullptr, 2},
        {"the item written takes its waiting notice away",
         [&] {
             host.db = openDatabase();
             EXPECT_EQ(health.retryUnsavedItems(), 0);
         },
         QStringLiteral("Not moved"), 3, true, nullptr, 1},
        {"dismissed: the next one comes", [&] { health.dismissFailureNotice(); }, QStringLiteral("Setting not kept"), 2,
         false, "x\ny", 0},
        {"dismissed", [&] { health.dismissFailureNotice(); }, std::nullopt, 0, false, nullptr, 0},
        {"the first kind again", [&] { health.reportFailure(QStringLiteral("Not moved"), QStringLiteral("three")); },
         QStringLiteral("Not moved"), 1, false, "three", 0},
    };
    std::optional<QUuid> previousID;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        const std::optional<VeskFailureNotice>& notice = health.failureNotice();
        ASSERT_EQ(notice.has_value(), step.title.has_value());
        if (!notice) {
            EXPECT_TRUE(health.waitingFailureNotices().isEmpty());
            previousID.reset();
            continue;
        }
        EXPECT_EQ(notice->title, *step.title);
        EXPECT_EQ(notice->count, step.count);
        EXPECT_EQ(previousID == notice->id, step.sameNotice);
        if (step.detail) {
            EXPECT_EQ(notice->detail, QString::fromUtf8(step.detail));
        }
        EXPECT_EQ(health.waitingFailureNotices().size(), step.waiting);
        previousID = notice->id;
    }
}

} // namespace
} // namespace vesk::test
