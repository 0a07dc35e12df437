#pragma once

#include "common/TestEnvironment.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

namespace vesk::test {

class CountingThumbnails final : public ThumbnailProvider {
public:
    QFuture<QImage> thumbnail(const VeskItem& item, int maxDimension) override
    {
        requests.append({item.id, maxDimension});
        return QtFuture::makeReadyFuture(QImage());
    }
    QFuture<void> prewarmThumbnails(const QList<VeskItem>&) override { return QtFuture::makeReadyFuture(); }
    QFuture<void> removeThumbnail(const QUuid&) override { return QtFuture::makeReadyFuture(); }

    QList<std::pair<QUuid, int>> requests;
};

// A store over a real database in a fresh data folder (or over none at all), a fake clock and
// memory settings; log lines are captured.
class IntakeStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataDir = makeTempDirectory(QStringLiteral("data"));
        sourceDir = makeTempDirectory(QStringLiteral("source"));
        noDatabaseDir = makeTempDirectory(QStringLiteral("nodb"));
        setVeskLogCapture([this](const QString& line) { logLines.append(line); });
    }
    void TearDown() override { setVeskLogCapture({}); }

    std::unique_ptr<VeskStore> makeStore(bool withDatabase = true)
    {
        VeskServices services;
        services.clock = clock;
        services.settings = std::make_shared<MemorySettings>();
        // A folder where the database file belongs keeps it from opening; "Items" still works.
        if (!withDatabase)
            QDir().mkpath(noDatabaseDir + "/vesk.sqlite3");
        services.dataDirectory = withDatabase ? dataDir : noDatabaseDir;
        services.thumbnails = thumbnails;
        services.lexicalSearchDelayMs = 1;
        services.deepSearchDelayMs = 1;
        auto store = std::make_unique<VeskStore>(services);
        EXPECT_EQ(store->database() != nullptr, withDatabase);
        return store;
    }

    // Refuses every write of an item row on the store's connection, or lifts that again.
    static void failItemSaves(VeskStore& store, bool fail)
    {
        sqlite3* handle = store.database()->nativeHandleForTesting();
        if (!fail) {
            sqlite3_set_authorizer(handle, nullptr, nullptr);
            return;
        }
        sqlite3_set_authorizer(
            handle,
            [](void*, int action, const char* table, const char*, const char*, const char*) {
                const bool itemRow = table && std::string_view(table) == "vesks";
                return (action == SQLITE_INSERT || action == SQLITE_UPDATE) && itemRow ? SQLITE_DENY : SQLITE_OK;
            },
            nullptr);
    }

    QList<VeskItem> storedItems() const
    {
        auto db = SQLiteDatabase::open(dataDir + "/vesk.sqlite3");
        EXPECT_TRUE(db.hasValue());
        if (!db)
            return {};
        auto items = db.value()->fetchItems();
        return items ? items.value() : QList<VeskItem>{};
    }

    static QString writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QString source(const QString& name, const QByteArray& bytes) const { return writeFile(sourceDir + "/" + name, bytes); }

    // Runs what was queued for the main thread (embedding and analysis tasks).
    static void drainEvents()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    QString dataDir;
    QString sourceDir;
    QString noDatabaseDir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<CountingThumbnails> thumbnails = std::make_shared<CountingThumbnails>();
    QStringList logLines;
};

} // namespace vesk::test
