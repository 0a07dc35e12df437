// Groups, bulk delete, clear library and filename cleanup, over a real database with recording
// collaborators.
#include "common/StoreFixture.h"
#include "store/FaultInjection.h"
#include "model/ItemFileKinds.h"
#include "platform/Uuid.h"
#include "store/SearchState.h"
#include "store/StoreInternals.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <functional>

using namespace vesk;
using namespace vesk::test;

namespace {

// One list of what the collaborators were asked, in order, shared by the fakes below.
using EventLog = QStringList;

// Records deletions only; nothing here stores a secret.
class LoggingSecrets final : public SecretStore {
public:
    explicit LoggingSecrets(std::shared_ptr<EventLog> log) : m_log(std::move(log)) {}
    Expected<void, KeychainError> saveSecret(const QUuid&, const QByteArray&) override { return {}; }
    Expected<std::optional<QByteArray>, KeychainError> readSecret(const QUuid&) override
    {
        return std::optional<QByteArray>();
    }
    Expected<void, KeychainError> deleteItem(const QUuid& id) override
    {
        m_log->append(QStringLiteral("secret ") + uuidString(id));
        deleted.append(id);
        watchedFileExisted = !watchedFile.isEmpty() && QFileInfo::exists(watchedFile);
        return {};
    }
    QList<QUuid> deleted;
    // Whether this file was still there when the last entry was deleted.
    QString watchedFile;
    bool watchedFileExisted = false;

private:
    std::shared_ptr<EventLog> m_log;
};

class LoggingThumbnails final : public ThumbnailProvider {
public:
    explicit LoggingThumbnails(std::shared_ptr<EventLog> log) : m_log(std::move(log)) {}
    QFuture<QImage> thumbnail(const VeskItem&, int, const CancellationToken&) override { return QtFuture::makeReadyFuture(QImage()); }
    QFuture<void> prewarmThumbnails(ThumbnailSources) override { return QtFuture::makeReadyFuture(); }
    QFuture<void> removeThumbnail(const QUuid& id) override
    {
        m_log->append(QStringLiteral("thumbnail ") + uuidString(id));
        return QtFuture::makeReadyFuture();
    }

private:
    std::shared_ptr<EventLog> m_log;
};

// Records each snapshot's reason together with what the database held at that moment.
class LoggingSnapshots final : public RecoverySnapshotService {
public:
    explicit LoggingSnapshots(std::shared_ptr<EventLog> log) : m_log(std::move(log)) {}
    void noteChange() override { ++changes; }
    void requestLaunchSnapshot() override {}
    bool synchronousSnapshot(const QString& reason) override
    {
        m_log->append(QStringLiteral("snapshot ") + reason + (probe ? QStringLiteral(" ") + probe() : QString()));
        return true;
    }
    int changes = 0;
    std::function<QString()> probe;

private:
    std::shared_ptr<EventLog> m_log;
};

class LibraryOperations : public StoreFixture {
protected:
    std::unique_ptr<VeskStore> makeLibraryStore(bool withDatabase = true)
    {
        VeskServices s = services();
        s.secrets = loggedSecrets;
        s.thumbnails = loggedThumbnails;
        s.recoverySnapshots = loggedSnapshots;
        if (!withDatabase) {
            const QString noDatabaseDir = makeTempDirectory(QStringLiteral("nodb"));
            QDir().mkpath(noDatabaseDir + QStringLiteral("/vesk.sqlite3"));
            s.dataDirectory = noDatabaseDir;
        }
        return std::make_unique<VeskStore>(s);
    }

    // Makes the store's connection refuse one kind of statement on one table.
    static void refuse(VeskStore& store, int action, const char* table)
    {
        static int refusedAction = 0;
        static const char* refusedTable = nullptr;
        refusedAction = action;
        refusedTable = table;
        sqlite3_set_authorizer(
            StoreInternals::database(store)->nativeHandleForTesting(),
            [](void*, int code, const char* name, const char*, const char*, const char*) {
                return code == refusedAction && name && std::string_view(name) == refusedTable ? SQLITE_DENY
                                                                                                : SQLITE_OK;
            },
            nullptr);
    }

    QString managedFile(const QString& folder, const QString& name = QStringLiteral("file.bin"))
    {
        return writeFile(dataDir + QStringLiteral("/Items/") + folder + QLatin1Char('/') + name, "bytes");
    }

    QStringList storedGroupNames() const
    {
        auto db = openDatabase();
        QStringList names;
        for (const VeskGroup& group : db->fetchGroups().valueOr(QList<VeskGroup>{}))
            names.append(group.name);
        return names;
    }

    static QStringList groupNames(const QList<VeskGroup>& groups)
    {
        QStringList names;
        for (const VeskGroup& group : groups)
            names.append(group.name);
        return names;
    }

    std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
    std::shared_ptr<LoggingSecrets> loggedSecrets = std::make_shared<LoggingSecrets>(events);
    std::shared_ptr<LoggingThumbnails> loggedThumbnails = std::make_shared<LoggingThumbnails>(events);
    std::shared_ptr<LoggingSnapshots> loggedSnapshots = std::make_shared<LoggingSnapshots>(events);
};

} // namespace

// --- Groups ---

TEST_F(LibraryOperations, CreateAndRenameTrimSortIgnoringCaseAndAllowTwins)
{
    auto store = makeLibraryStore();
    EXPECT_FALSE(store->createGroup(QStringLiteral(" \n\t ")));
    EXPECT_FALSE(store->renameGroup(QUuid::createUuid(), QStringLiteral("Nobody")));
    EXPECT_EQ(loggedSnapshots->changes, 0);

    const auto beta = store->createGroup(QStringLiteral("  beta\n"));
    ASSERT_TRUE(beta);
    EXPECT_EQ(beta->name, "beta");
    EXPECT_EQ(beta->createdAt, clock->now());
    const auto alpha = store->createGroup(QStringLiteral("Alpha"));
    const auto twin = store->createGroup(QStringLiteral("alpha"));
    ASSERT_TRUE(alpha && twin);
    EXPECT_NE(alpha->id, twin->id);
    EXPECT_EQ(groupNames(store->groups()), (QStringList{"Alpha", "alpha", "beta"}));
    EXPECT_EQ(loggedSnapshots->changes, 3);

    EXPECT_FALSE(store->renameGroup(beta->id, QStringLiteral("   ")));
    EXPECT_TRUE(store->renameGroup(beta->id, QStringLiteral(" Aardvark ")));
    EXPECT_EQ(groupNames(store->groups()), (QStringList{"Aardvark", "Alpha", "alpha"}));
    EXPECT_EQ(store->groups().first().createdAt, beta->createdAt);
    // The same name again still writes and notes a change.
    EXPECT_TRUE(store->renameGroup(beta->id, QStringLiteral("Aardvark")));
    EXPECT_EQ(loggedSnapshots->changes, 5);

    QStringList stored = storedGroupNames();
    stored.sort(Qt::CaseInsensitive);
    EXPECT_EQ(stored, (QStringList{"Aardvark", "Alpha", "alpha"}));
}

TEST_F(LibraryOperations, GroupWritesThatFailLeaveEverythingAsItWasAndAreSaid)
{
    auto store = makeLibraryStore();
    const auto kept = store->createGroup(QStringLiteral("Kept"));
    ASSERT_TRUE(kept);
    VeskItem member = makeItem(QStringLiteral("member"), 10);
    member.groupID = kept->id;
    seed({member});
    store = makeLibraryStore();

    const struct {
        const char* name;
        std::function<void()> fault;
        std::function<bool()> run;
        QString title;
        QString detail;
    } cases[] = {
        {"create", [&] { refuse(*store, SQLITE_INSERT, "vesk_groups"); },
         [&] { return store->createGroup(QStringLiteral("Lost")).has_value(); }, QStringLiteral("Group not created"),
         QStringLiteral("\u201CLost\u201D was not created: not authorized.")},
        {"rename", [&] { refuse(*store, SQLITE_UPDATE, "vesk_groups"); },
         [&] { return store->renameGroup(kept->id, QStringLiteral("Renamed")); }, QStringLiteral("Group not renamed"),
         QStringLiteral("\u201CKept\u201D was not renamed: not authorized.")},
        {"delete refused", [&] { refuse(*store, SQLITE_DELETE, "vesk_groups"); },
         [&] { return store->deleteGroup(kept->id); }, QStringLiteral("Group not deleted"),
         QStringLiteral("\u201CKept\u201D was not deleted: not authorized.")},
        // The members' rows are written in the delete's own transaction: no room for them, no delete.
        {"delete on a full disk", [] {},
         [&] {
             FileSizeLimit full(1);
             return store->deleteGroup(kept->id);
         },
         QStringLiteral("Group not deleted"), QStringLiteral("\u201CKept\u201D was not deleted: the disk is full.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.fault();
        const int changes = loggedSnapshots->changes;
        EXPECT_FALSE(c.run());
        sqlite3_set_authorizer(StoreInternals::database(*store)->nativeHandleForTesting(), nullptr, nullptr);
        EXPECT_EQ(groupNames(store->groups()), QStringList{"Kept"});
        EXPECT_EQ(store->items().first().groupID, std::optional<QUuid>(kept->id));
        EXPECT_EQ(loggedSnapshots->changes, changes);
        ASSERT_TRUE(store->failureNotice());
        EXPECT_EQ(store->failureNotice()->title, c.title);
        EXPECT_EQ(store->failureNotice()->detail.toStdString(), c.detail.toStdString());
        store->dismissFailureNotice();
    }
    store = makeLibraryStore();
    EXPECT_EQ(groupNames(store->groups()), QStringList{"Kept"});
    EXPECT_EQ(storedItems().first().groupID, std::optional<QUuid>(kept->id));
    EXPECT_EQ(countLines("Vesk group create error: "), 1);
    EXPECT_EQ(countLines("Vesk group rename error: "), 1);
    EXPECT_EQ(countLines("Vesk group delete error: "), 2);
}

TEST_F(LibraryOperations, DeletingAGroupSnapshotsFirstAndReleasesItsItems)
{
    VeskItem a = makeItem(QStringLiteral("a"), 30);
    VeskItem b = makeItem(QStringLiteral("b"), 20);
    VeskItem c = makeItem(QStringLiteral("c"), 10);
    VeskItem other = makeItem(QStringLiteral("other"), 5);
    auto store = makeLibraryStore();
    const auto trip = store->createGroup(QStringLiteral("Trip"));
    const auto work = store->createGroup(QStringLiteral("Work"));
    ASSERT_TRUE(trip && work);
    a.groupID = b.groupID = c.groupID = trip->id;
    other.groupID = work->id;
    seed({a, b, c, other});
    store = makeLibraryStore();
    ASSERT_EQ(store->groups().size(), 2);

    EXPECT_FALSE(store->deleteGroup(QUuid::createUuid()));
    EXPECT_TRUE(events->isEmpty());

    loggedSnapshots->probe = [this] { return storedGroupNames().join(','); };
    const int changesBefore = loggedSnapshots->changes;
    EXPECT_TRUE(store->deleteGroup(trip->id));
    // One snapshot, taken while the database still held the group.
    EXPECT_EQ(*events, QStringList{"snapshot before-delete-group Trip,Work"});
    EXPECT_EQ(groupNames(store->groups()), QStringList{"Work"});
    EXPECT_EQ(titles(store->items()), (QStringList{"a", "b", "c", "other"}));
    for (const VeskItem& item : store->items())
        EXPECT_EQ(item.groupID.has_value(), item.title == "other") << item.title.toStdString();
    for (const VeskItem& item : storedItems())
        EXPECT_EQ(item.groupID.has_value(), item.title == "other") << item.title.toStdString();
    EXPECT_EQ(storedGroupNames(), QStringList{"Work"});
    EXPECT_EQ(loggedSnapshots->changes, changesBefore + 1);
}

TEST_F(LibraryOperations, WithoutADatabaseGroupsChangeInMemoryAndStillNoteChanges)
{
    auto store = makeLibraryStore(false);
    const auto group = store->createGroup(QStringLiteral("Solo"));
    ASSERT_TRUE(group);
    EXPECT_TRUE(store->renameGroup(group->id, QStringLiteral("Duo")));
    EXPECT_TRUE(store->deleteGroup(group->id));
    EXPECT_TRUE(store->groups().isEmpty());
    EXPECT_EQ(loggedSnapshots->changes, 3);
    EXPECT_EQ(*events, QStringList{"snapshot before-delete-group"});
}

// --- Bulk delete ---

TEST_F(LibraryOperations, DeletingTwoOfFiveRemovesEveryTraceInOrder)
{
    QList<VeskItem> items;
    for (int i = 0; i < 5; ++i)
        items.append(makeItem(QStringLiteral("item %1").arg(i), 100 - i, VeskKind::File));
    items[1].filePath = managedFile(uuidString(items[1].id));
    items[3].filePath = managedFile(uuidString(items[3].id));
    items[3].searchableText = items[3].searchableText.toString() + QStringLiteral(" ") + QLatin1String(kSecureSecretMarkerText);
    items[4].filePath = managedFile(uuidString(items[4].id));
    seed(items);
    const QString key1 = uuidString(items[1].id);
    const QString key3 = uuidString(items[3].id);
    settings->setData(VeskStore::manualTagsDefaultsKey, QStringLiteral(R"({"%1":["keep"],"%2":["gone"]})")
                                                            .arg(uuidString(items[0].id), key3)
                                                            .toUtf8());
    auto store = makeLibraryStore();
    store->setBringBackDates({{items[1].id, clock->now().addDays(2)}, {items[2].id, clock->now().addDays(3)}});
    store->select(items[3].id);
    store->toggleSelection(items[1].id);
    ASSERT_EQ(store->selectedIDs().size(), 2);
    events->clear();

    loggedSnapshots->probe = [this] { return QString::number(storedItems().size()); };
    loggedSecrets->watchedFile = *items[3].filePath;
    store->deleteItems();

    // Snapshot before the database changed; per item its file, its secret, its thumbnail.
    EXPECT_EQ(*events, (QStringList{"snapshot before-bulk-delete 5", "thumbnail " + key1, "secret " + key3,
                                    "thumbnail " + key3}));
    EXPECT_FALSE(loggedSecrets->watchedFileExisted);
    EXPECT_EQ(titles(store->items()), (QStringList{"item 0", "item 2", "item 4"}));
    EXPECT_EQ(titles(storedItems()), (QStringList{"item 0", "item 2", "item 4"}));
    EXPECT_FALSE(QFileInfo::exists(*items[1].filePath));
    EXPECT_TRUE(QFileInfo::exists(*items[4].filePath));
    EXPECT_TRUE(store->selectedIDs().isEmpty());
    EXPECT_FALSE(store->selectedID());

    const QJsonObject tags = QJsonDocument::fromJson(settings->data(VeskStore::manualTagsDefaultsKey)).object();
    EXPECT_TRUE(tags.contains(uuidString(items[0].id)));
    EXPECT_FALSE(tags.contains(key3));
    const QJsonObject dates = QJsonDocument::fromJson(settings->data(VeskStore::bringBackDefaultsKey)).object();
    EXPECT_EQ(dates.keys(), QStringList{uuidString(items[2].id)});
    EXPECT_NEAR(dates.value(uuidString(items[2].id)).toDouble(),
                double(clock->now().addDays(3).toSecsSinceEpoch()) - 978'307'200.0, 0.001);
    EXPECT_TRUE(settings->contains(VeskStore::usageDefaultsKey));
    EXPECT_EQ(store->bringBackDates().keys(), QList<QUuid>{items[2].id});
}

TEST_F(LibraryOperations, ADeleteWaitsForItsSnapshotRefusingChangesAndDeletesWhatWasSelectedWhenAsked)
{
    for (const bool snapshotTaken : {true, false}) {
        SCOPED_TRACE(snapshotTaken ? "snapshot taken" : "snapshot failed");
        const VeskItem a = makeItem(QStringLiteral("a"), 40);
        const VeskItem b = makeItem(QStringLiteral("b"), 30);
        const VeskItem c = makeItem(QStringLiteral("c"), 20);
        const VeskItem d = makeItem(QStringLiteral("d"), 10);
        seed({a, b, c, d});
        snapshots->reasons.clear();
        snapshots->holdDestructive = true;
        auto store = makeStore();
        const auto group = store->createGroup(QStringLiteral("Trip"));
        ASSERT_TRUE(group);

        store->select(a.id);
        store->toggleSelection(b.id);
        store->deleteItems();
        // Nothing is touched before the snapshot is done; the window goes on meanwhile.
        EXPECT_TRUE(store->destructiveChangeRunning());
        EXPECT_EQ(titles(store->items()), (QStringList{"a", "b", "c", "d"}));
        EXPECT_EQ(titles(storedItems()), (QStringList{"a", "b", "c", "d"}));
        store->select(c.id);
        store->setSearchText(QStringLiteral("c"));

        const struct {
            const char* change;
            std::function<void()> attempt;
            const char* noticeTitle;
        } refused[] = {
            {"another delete", [&] { store->deleteItems(); }, "Not deleted"},
            {"clear library", [&] { store->clearLibrary(); }, "Not deleted"},
            {"group delete", [&] { (void)store->deleteGroup(group->id); }, "Group not deleted"},
            {"group creation", [&] { (void)store->createGroup(QStringLiteral("Work")); }, "Group not created"},
            {"rename", [&] { (void)store->renameItem(d.id, QStringLiteral("renamed")); }, "Not changed"},
            {"tag", [&] { (void)store->addManualTag(QStringLiteral("later"), d); }, "Tag not added"},
            {"capture", [&] { (void)store->commitNewItem(makeItem(QStringLiteral("new"), 50)); }, "Not kept"},
        };
        for (const auto& attempt : refused) {
            SCOPED_TRACE(attempt.change);
            store->dismissFailureNotice();
            attempt.attempt();
            ASSERT_TRUE(store->failureNotice());
            EXPECT_EQ(store->failureNotice()->title, QString::fromLatin1(attempt.noticeTitle));
            EXPECT_TRUE(store->failureNotice()->detail.contains(QStringLiteral("still finishing a delete")));
        }
        EXPECT_EQ(snapshots->reasons, QStringList{"before-bulk-delete"});
        EXPECT_EQ(titles(store->items()), (QStringList{"a", "b", "c", "d"}));
        EXPECT_EQ(groupNames(store->groups()), QStringList{"Trip"});

        snapshots->finishHeld(snapshotTaken);
        // The rows are deleted by the worker; the items leave once they are.
        drainWrites(*store);
        EXPECT_FALSE(store->destructiveChangeRunning());
        EXPECT_EQ(titles(store->items()), (QStringList{"c", "d"}));
        EXPECT_EQ(titles(storedItems()), (QStringList{"c", "d"}));
        // What was selected while it waited stays selected.
        EXPECT_EQ(store->selectedIDs(), QSet<QUuid>{c.id});
        EXPECT_EQ(store->selectedID(), c.id);
        EXPECT_TRUE(store->renameItem(d.id, QStringLiteral("renamed")));
        store.reset();
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(databasePath() + suffix);
    }
}

// The worker has deleted the rows and the items are about to leave memory: what is written of
// them meanwhile (a background result, a retried save) would outlive the delete and bring them
// back at the next start.
TEST_F(LibraryOperations, WritesOfAnItemWhoseRowIsBeingDeletedDoNotBringItBack)
{
    const struct {
        const char* name;
        std::function<void(VeskStore&, const VeskItem&)> prepare;
        std::function<void(VeskStore&, const VeskItem&)> write;
    } cases[] = {
        {"a background result", [](VeskStore&, const VeskItem&) {},
         [](VeskStore& store, const VeskItem& item) {
             VeskItem analysed = item;
             analysed.note = QStringLiteral("two faces");
             EXPECT_FALSE(StoreInternals::updateItemFromWork(store, analysed));
         }},
        {"a retried save",
         [](VeskStore& store, const VeskItem& item) {
             failItemSaves(store, true);
             EXPECT_FALSE(store.renameItem(item.id, QStringLiteral("renamed")));
             failItemSaves(store, false);
         },
         [this](VeskStore&, const VeskItem&) { timers->advance(services().unsavedRetryIntervalMs); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const VeskItem doomed = makeItem(QStringLiteral("doomed"), 20);
        const VeskItem kept = makeItem(QStringLiteral("kept"), 10);
        seed({doomed, kept});
        auto store = makeStore();
        c.prepare(*store, doomed);
        store->setSelectedIDs({doomed.id});
        store->deleteItems();
        (void)StoreInternals::backgroundDatabase(*store); // the worker's delete is done
        c.write(*store, doomed);
        drainWrites(*store);
        EXPECT_EQ(titles(store->items()), QStringList{"kept"});
        EXPECT_EQ(titles(storedItems()), QStringList{"kept"});
        EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
        store.reset();
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(databasePath() + suffix);
    }
}

TEST_F(LibraryOperations, DeleteWithNothingSelectedDoesNothingAndAFocusOutsideTheSelectionStays)
{
    const VeskItem first = makeItem(QStringLiteral("first"), 20);
    const VeskItem second = makeItem(QStringLiteral("second"), 10);
    seed({first, second});
    auto store = makeLibraryStore();
    store->deleteItems();
    EXPECT_TRUE(events->isEmpty());
    EXPECT_EQ(store->items().size(), 2);

    // A selection naming an item that is no longer listed still deletes the rest.
    store->select(first.id);
    store->setSelectedIDs({second.id, QUuid::createUuid()});
    store->deleteItems();
    EXPECT_EQ(titles(store->items()), QStringList{"first"});
    EXPECT_EQ(store->selectedID(), std::optional<QUuid>(first.id));
    EXPECT_EQ(titles(storedItems()), QStringList{"first"});
    EXPECT_EQ(countLines("Vesk bulk database delete error"), 0);
}

TEST_F(LibraryOperations, ADeleteOrClearTheLibraryFileRefusesChangesNothingAndSaysSo)
{
    const struct {
        const char* name;
        std::function<void(VeskStore&)> run;
        const char* logLine;
    } cases[] = {
        {"bulk delete", [](VeskStore& store) { store.deleteItems(); }, "Vesk bulk database delete error: "},
        {"clear library", [](VeskStore& store) { store.clearLibrary(); }, "Vesk clear-library database error: "},
    };
    // Until the library has passed its check the main connection deletes; then the worker's, while
    // the window goes on.
    const struct {
        const char* name;
        bool started;
        std::function<std::shared_ptr<void>(VeskStore&)> fault;
        const char* reason;
    } refusals[] = {
        // Not a byte more may be written: the library's journal cannot take the delete.
        {"full disk", false, [](VeskStore&) { return std::make_shared<FileSizeLimit>(1); }, "the disk is full"},
        {"worker's connection refusing deletes", true,
         [](VeskStore& store) {
             sqlite3_set_authorizer(
                 StoreInternals::backgroundDatabase(store)->nativeHandleForTesting(),
                 [](void*, int action, const char*, const char*, const char*, const char*) {
                     return action == SQLITE_DELETE ? SQLITE_DENY : SQLITE_OK;
                 },
                 nullptr);
             return std::shared_ptr<void>();
         },
         "not authorized"},
    };
    for (const auto& refusal : refusals) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + refusal.name);
            logLines.clear();
            VeskItem secure = makeItem(QStringLiteral("password"), 20, VeskKind::File);
            secure.filePath = managedFile(uuidString(secure.id));
            secure.searchableText = QString(QLatin1String(kSecureCreditCardMarkerText));
            const VeskItem plain = makeItem(QStringLiteral("plain"), 10);
            seed({secure, plain});
            settings->setData(VeskStore::manualTagsDefaultsKey,
                              QStringLiteral(R"({"%1":["keep"]})").arg(uuidString(plain.id)).toUtf8());
            auto store = makeLibraryStore();
            if (refusal.started)
                store->waitForStartup();
            store->setBringBackDates({{plain.id, clock->now().addDays(2)}});
            store->selectItems(store->items());
            const QSet<QUuid> selection = store->selectedIDs();
            const QByteArray tags = settings->data(VeskStore::manualTagsDefaultsKey);
            const QByteArray dates = settings->data(VeskStore::bringBackDefaultsKey);
            events->clear();
            {
                const std::shared_ptr<void> fault = refusal.fault(*store);
                c.run(*store);
                drainWrites(*store);
            }
            EXPECT_FALSE(store->destructiveChangeRunning());

            EXPECT_EQ(titles(store->items()), (QStringList{"password", "plain"}));
            EXPECT_EQ(store->selectedIDs(), selection);
            EXPECT_EQ(store->bringBackDates().size(), 1);
            EXPECT_EQ(settings->data(VeskStore::manualTagsDefaultsKey), tags);
            EXPECT_EQ(settings->data(VeskStore::bringBackDefaultsKey), dates);
            EXPECT_TRUE(QFileInfo::exists(*secure.filePath));
            EXPECT_TRUE(loggedSecrets->deleted.isEmpty());
            EXPECT_EQ(events->filter(QStringLiteral("thumbnail")), QStringList());
            EXPECT_EQ(countLines(c.logLine), 1);
            ASSERT_TRUE(store->failureNotice());
            EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not deleted"));
            EXPECT_EQ(store->failureNotice()->detail.toStdString(),
                      "The 2 items were not deleted: " + std::string(refusal.reason) + ".")
                << logLines.join(QLatin1Char(10)).toStdString();

            // After a restart, all of it is still there; with room again the delete goes through.
            store = makeLibraryStore();
            EXPECT_EQ(store->items().size(), 2);
            store->selectItems(store->items());
            c.run(*store);
            drainWrites(*store);
            EXPECT_TRUE(store->items().isEmpty());
            EXPECT_FALSE(QFileInfo::exists(*secure.filePath));
            EXPECT_EQ(loggedSecrets->deleted, QList<QUuid>{secure.id});
            EXPECT_TRUE(storedItems().isEmpty());
            loggedSecrets->deleted.clear();
        }
    }
}

// --- Clear library ---

TEST_F(LibraryOperations, ClearLibraryEmptiesEverythingIncludingGroups)
{
    VeskItem secure = makeItem(QStringLiteral("secret note"), 30, VeskKind::File);
    secure.filePath = managedFile(uuidString(secure.id));
    secure.searchableText = QString(QLatin1String(kSecureSecretMarkerText));
    VeskItem plain = makeItem(QStringLiteral("plain"), 20);
    seed({secure, plain});
    auto store = makeLibraryStore();
    const auto group = store->createGroup(QStringLiteral("Holiday"));
    ASSERT_TRUE(group);
    store->setSearchText(QStringLiteral("plain"));
    store->select(plain.id);
    const int revision = store->faceDataRevision();
    loggedSnapshots->probe = [this] { return QString::number(storedItems().size()); };
    events->clear();

    store->clearLibrary();
    EXPECT_EQ(events->first(), "snapshot before-clear-library 2");
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(store->filteredItems().isEmpty());
    EXPECT_TRUE(store->searchText().isEmpty());
    EXPECT_FALSE(store->selectedID());
    EXPECT_TRUE(store->groups().isEmpty());
    EXPECT_EQ(store->faceDataRevision(), revision + 1);
    EXPECT_FALSE(QFileInfo::exists(*secure.filePath));
    EXPECT_EQ(loggedSecrets->deleted, QList<QUuid>{secure.id});
    EXPECT_TRUE(storedItems().isEmpty());
    EXPECT_TRUE(storedGroupNames().isEmpty());

    // The deleted group cannot be brought back by a rename.
    EXPECT_FALSE(store->renameGroup(group->id, QStringLiteral("Back again")));
    EXPECT_TRUE(storedGroupNames().isEmpty());
}

// --- Filename cleanup ---

TEST_F(LibraryOperations, CleanupProposesReadableTitlesForMachineMadeFileNamesOnly)
{
    const VeskItem camera = makeItem(QStringLiteral("IMG_20240501.jpg"), 40, VeskKind::Image,
                                     dataDir + QStringLiteral("/Items/A/IMG_20240501.jpg"));
    const VeskItem named = makeItem(QStringLiteral("Holiday 2024.jpg"), 30, VeskKind::Image,
                                    dataDir + QStringLiteral("/Items/B/Holiday 2024.jpg"));
    const VeskItem note = makeItem(QStringLiteral("IMG_20240501"), 20); // no file: never proposed
    const VeskItem serial = makeItem(QStringLiteral("Budget-20240501.xlsx"), 10, VeskKind::File,
                                     dataDir + QStringLiteral("/Items/C/Budget-20240501.xlsx"));
    seed({camera, named, note, serial});
    auto store = makeLibraryStore();

    const QList<VeskFilenameCleanupCandidate> candidates = store->filenameCleanupCandidates();
    ASSERT_EQ(candidates.size(), 2);
    EXPECT_EQ(candidates[0].id, camera.id);
    EXPECT_EQ(candidates[0].oldTitle, camera.title);
    EXPECT_TRUE(candidates[0].newTitle.startsWith(QStringLiteral("Photo \u2022 ")));
    EXPECT_EQ(candidates[1].id, serial.id);
    EXPECT_EQ(candidates[1].newTitle, "Budget");

    EXPECT_EQ(store->applyFilenameCleanup({}), 0);
    EXPECT_EQ(loggedSnapshots->changes, 0);

    // The camera item was renamed by hand since the list was made: only the other one changes.
    VeskItem renamed = store->items().first();
    renamed.title = QStringLiteral("Mine");
    ASSERT_TRUE(store->updateItem(renamed));
    const int changesBefore = loggedSnapshots->changes;
    EXPECT_EQ(store->applyFilenameCleanup(candidates), 1);
    EXPECT_EQ(loggedSnapshots->changes, changesBefore + 1);
    EXPECT_EQ(titles(store->items()), (QStringList{"Mine", "Holiday 2024.jpg", "IMG_20240501", "Budget"}));
    EXPECT_EQ(titles(storedItems()), (QStringList{"Mine", "Holiday 2024.jpg", "IMG_20240501", "Budget"}));
    EXPECT_EQ(store->items().last().searchableText, serial.searchableText);
}

TEST_F(LibraryOperations, CleanupSaveFailureIsLoggedAndNotCounted)
{
    const VeskItem camera = makeItem(QStringLiteral("DSC01234.jpg"), 40, VeskKind::Image,
                                     dataDir + QStringLiteral("/Items/A/DSC01234.jpg"));
    seed({camera});
    auto store = makeLibraryStore();
    const auto candidates = store->filenameCleanupCandidates();
    ASSERT_EQ(candidates.size(), 1);
    failItemSaves(*store, true);
    EXPECT_EQ(store->applyFilenameCleanup(candidates), 0);
    EXPECT_EQ(countLines("Vesk filename cleanup save error: "), 1);
    EXPECT_EQ(store->items().first().title, camera.title);
    EXPECT_EQ(loggedSnapshots->changes, 0);
}
