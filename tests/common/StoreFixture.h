#pragma once
// The one fixture for a store on a temporary library: a real database in a fresh folder (or none
// at all), a fake clock, memory settings, the shared fakes, short search delays; log lines are
// captured instead of written.

#include "common/Fakes.h"
#include "common/TestEnvironment.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"
#include "store/StoreInternals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>
#include <string_view>

namespace vesk::test {

class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataDir = makeTempDirectory(QStringLiteral("store"));
        setVeskLogCapture([this](const QString& line) { logLines.append(line); });
    }
    void TearDown() override { setVeskLogCapture({}); }

    VeskServices services() const
    {
        VeskServices s;
        s.clock = clock;
        s.timers = timers;
        s.settings = settings;
        s.dataDirectory = dataDir;
        s.recoverySnapshots = snapshots;
        s.thumbnails = thumbnails;
        s.secrets = secrets;
        s.embeddings = embeddings;
        s.imageAnalyser = analyser;
        s.lexicalSearchDelayMs = 1;
        s.deepSearchDelayMs = 2;
        s.faceBackfillPauseMs = 1;
        s.watchInboxes = false;
        return s;
    }

    // Without a database, a folder stands where the database file belongs, so it cannot open;
    // "Items" still works. The store is returned once start-up has read the whole library and
    // prepared its search, unless the test looks at start-up itself.
    std::unique_ptr<VeskStore> makeStore(bool withDatabase = true, bool waitForStartup = true)
    {
        VeskServices s = services();
        if (!withDatabase) {
            const QString noDatabaseDir = makeTempDirectory(QStringLiteral("nodb"));
            QDir().mkpath(noDatabaseDir + QStringLiteral("/vesk.sqlite3"));
            s.dataDirectory = noDatabaseDir;
        }
        auto store = std::make_unique<VeskStore>(s);
        if (!withDatabase) {
            EXPECT_EQ(StoreInternals::database(*store), nullptr);
        }
        if (waitForStartup)
            store->waitForStartup();
        return store;
    }

    QString databasePath() const { return dataDir + QStringLiteral("/vesk.sqlite3"); }

    std::unique_ptr<SQLiteDatabase> openDatabase() const
    {
        auto opened = SQLiteDatabase::open(databasePath());
        EXPECT_TRUE(opened.hasValue());
        return opened ? std::move(opened.value()) : nullptr;
    }

    void seed(const QList<VeskItem>& items) const
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->upsertItems(items).hasValue());
    }

    QList<VeskItem> storedItems() const
    {
        auto db = openDatabase();
        if (!db)
            return {};
        auto items = db->fetchItems();
        EXPECT_TRUE(items.hasValue());
        return items ? items.value() : QList<VeskItem>{};
    }

    // Refuses every write of an item row on the store's connections, or lifts that again.
    static void failItemSaves(VeskStore& store, bool fail)
    {
        for (SQLiteDatabase* database : {StoreInternals::database(store), StoreInternals::backgroundDatabase(store)}) {
            sqlite3* handle = database->nativeHandleForTesting();
            if (!fail) {
                sqlite3_set_authorizer(handle, nullptr, nullptr);
                continue;
            }
            sqlite3_set_authorizer(
                handle,
                [](void*, int action, const char* table, const char*, const char*, const char*) {
                    const bool itemRow = table && std::string_view(table) == "vesks";
                    return (action == SQLITE_INSERT || action == SQLITE_UPDATE) && itemRow ? SQLITE_DENY : SQLITE_OK;
                },
                nullptr);
        }
    }

    int countLines(const QString& prefix) const
    {
        int count = 0;
        for (const QString& line : logLines)
            count += line.startsWith(prefix) ? 1 : 0;
        return count;
    }

    static VeskItem makeItem(const QString& title, qint64 secs, VeskKind kind = VeskKind::Text,
                             std::optional<QString> filePath = std::nullopt)
    {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.title = title;
        item.kind = kind;
        item.createdAt = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
        item.filePath = filePath;
        item.searchableText = title;
        return item;
    }

    static QString writeFile(const QString& path, const QByteArray& bytes) { return test::writeFile(path, bytes); }

    static QStringList titles(const QList<VeskItem>& items)
    {
        QStringList out;
        for (const VeskItem& item : items)
            out.append(item.title);
        return out;
    }

    // Waits for an import (its copy runs on the import worker, its result comes back to the main
    // thread) and gives its result; false when it did not finish within ten seconds.
    static bool finished(QFuture<bool> future)
    {
        // Ends as soon as the import does; a sanitized build on a busy machine takes many seconds.
        QDeadlineTimer deadline(60'000);
        while (!future.isFinished() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (!future.isFinished())
                QThread::msleep(1);
        }
        return future.isFinished() && !future.isCanceled() && future.result();
    }
    static bool importNow(VeskStore& store, const QString& path) { return finished(store.importFile(path)); }
    // Moves the wall clock and the store's timers on together, as real time passes.
    void passTime(double seconds)
    {
        const qint64 total = qint64(seconds * 1000.0);
        for (qint64 done = 0; done < total;) {
            // In steps, so that each timer sees the clock where it was due.
            const qint64 step = std::min<qint64>(total - done, 60'000);
            clock->advance(double(step) / 1000.0);
            timers->advance(step);
            done += step;
        }
    }

    // Runs what was queued for the main thread (embedding and analysis tasks).
    static void drainEvents()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    // drainEvents, and the rows the store's background connection writes, with what follows
    // each of them on the main thread.
    static void drainWrites(VeskStore& store)
    {
        for (int i = 0; i < 4; ++i) {
            drainEvents();
            (void)StoreInternals::backgroundDatabase(store); // waits for the worker's queue
        }
        drainEvents();
    }

    QString dataDir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeTimers> timers = std::make_shared<FakeTimers>();
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<RecordingSnapshots> snapshots = std::make_shared<RecordingSnapshots>();
    std::shared_ptr<FakeThumbnails> thumbnails = std::make_shared<FakeThumbnails>();
    std::shared_ptr<FakeSecretStore> secrets = std::make_shared<FakeSecretStore>();
    std::shared_ptr<FakeEmbeddings> embeddings = std::make_shared<FakeEmbeddings>();
    std::shared_ptr<FakeImageAnalyser> analyser = std::make_shared<FakeImageAnalyser>();
    QStringList logLines;
};

} // namespace vesk::test
