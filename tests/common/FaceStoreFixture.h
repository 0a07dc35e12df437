#pragma once
// The store fixture with helpers for face data: face records, seeded pools and faces, and refused
// writes to chosen tables.

#include "common/StoreFixture.h"
#include "store/StoreInternals.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <set>
#include <string>

namespace vesk::test {

class FaceStoreTest : public StoreFixture {
protected:
    static VeskFaceRecord face(const QUuid& itemID, qint64 index, std::optional<QUuid> cluster = std::nullopt,
                               QList<double> vector = {0.5, 0.25})
    {
        VeskFaceRecord record;
        record.id = QUuid::createUuid();
        record.veskID = itemID;
        record.clusterID = cluster;
        record.faceIndex = index;
        record.x = 0.25;
        record.y = 0.25;
        record.width = 0.25;
        record.height = 0.25;
        record.confidence = 0.9;
        record.featureModel = QStringLiteral("test");
        record.featureVector = std::move(vector);
        record.createdAt = QDateTime::fromSecsSinceEpoch(1000 + index, Qt::UTC);
        return record;
    }

    static void breakTable(SQLiteDatabase& db, const char* replaceWithView)
    {
        ASSERT_EQ(sqlite3_exec(db.nativeHandleForTesting(), replaceWithView, nullptr, nullptr, nullptr), SQLITE_OK);
    }

    // Refuses inserts, updates and deletes on the named tables of the store's connection; an
    // empty set lifts the refusal.
    static void refuseWrites(VeskStore& store, std::set<std::string> tables)
    {
        static std::set<std::string> refused;
        refused = std::move(tables);
        // Both connections: face rows are written by the background one.
        for (SQLiteDatabase* database : {StoreInternals::database(store), StoreInternals::backgroundDatabase(store)}) {
            sqlite3* handle = database->nativeHandleForTesting();
            if (refused.empty()) {
                sqlite3_set_authorizer(handle, nullptr, nullptr);
                continue;
            }
            sqlite3_set_authorizer(
                handle,
                [](void*, int action, const char* table, const char*, const char*, const char*) {
                    const bool write = action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE;
                    return write && table && refused.count(table) ? SQLITE_DENY : SQLITE_OK;
                },
                nullptr);
        }
    }

    // A picture file of the given size, one flat colour.
    static QString writePicture(const QString& path, QSize size, QColor colour = Qt::darkCyan)
    {
        QDir().mkpath(QFileInfo(path).path());
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    // An image item whose managed picture exists.
    VeskItem pictureItem(const QString& title, qint64 secs, QSize size = QSize(400, 300)) const
    {
        VeskItem item = makeItem(title, secs, VeskKind::Image);
        item.filePath = writePicture(dataDir + "/Items/" + item.id.toString(QUuid::WithoutBraces).toUpper() + "/"
                                         + title + ".png",
                                     size);
        return item;
    }

    QList<VeskFaceRecord> storedFaces() const
    {
        auto db = openDatabase();
        return db ? db->fetchFaces().valueOr(QList<VeskFaceRecord>{}) : QList<VeskFaceRecord>{};
    }
    QSet<QUuid> analysedIDs() const
    {
        auto db = openDatabase();
        return db ? db->fetchFaceAnalyzedItemIDs().valueOr(QSet<QUuid>{}) : QSet<QUuid>{};
    }
};

} // namespace vesk::test
