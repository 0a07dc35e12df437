#pragma once

#include "common/TestEnvironment.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

namespace vesk::test {

class RecordingSnapshots final : public RecoverySnapshotService {
public:
    void noteChange() override { ++changes; }
    void requestLaunchSnapshot() override { ++launchRequests; }
    bool synchronousSnapshot(const QString& reason) override
    {
        reasons.append(reason);
        return true;
    }

    int changes = 0;
    int launchRequests = 0;
    QStringList reasons;
};

class RecordingThumbnails final : public ThumbnailProvider {
public:
    QFuture<QImage> thumbnail(const VeskItem&, int) override { return QtFuture::makeReadyFuture(QImage()); }
    QFuture<void> prewarmThumbnails(const QList<VeskItem>& items) override
    {
        prewarmed.append(items);
        return QtFuture::makeReadyFuture();
    }
    QFuture<void> removeThumbnail(const QUuid& id) override
    {
        removed.append(id);
        return QtFuture::makeReadyFuture();
    }

    QList<QList<VeskItem>> prewarmed;
    QList<QUuid> removed;
};

// A store over a real database in a fresh folder, with a fake clock, memory settings and
// recording collaborators; log lines are captured instead of written.
class StoreTest : public ::testing::Test {
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
        s.settings = settings;
        s.dataDirectory = dataDir;
        s.recoverySnapshots = snapshots;
        s.thumbnails = thumbnails;
        s.lexicalSearchDelayMs = 1;
        s.deepSearchDelayMs = 2;
        s.faceBackfillPauseMs = 1;
        return s;
    }

    std::unique_ptr<VeskStore> makeStore() { return std::make_unique<VeskStore>(services()); }

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
        auto items = db->fetchItems();
        EXPECT_TRUE(items.hasValue());
        return items ? items.value() : QList<VeskItem>{};
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

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QStringList titles(const QList<VeskItem>& items)
    {
        QStringList out;
        for (const VeskItem& item : items)
            out.append(item.title);
        return out;
    }

    QString dataDir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<RecordingSnapshots> snapshots = std::make_shared<RecordingSnapshots>();
    std::shared_ptr<RecordingThumbnails> thumbnails = std::make_shared<RecordingThumbnails>();
    QStringList logLines;
};

} // namespace vesk::test
