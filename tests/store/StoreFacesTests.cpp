#include "store/FaceBackfill.h"
#include "store/StoreTestSupport.h"

#include <sqlite3.h>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreFaces : public StoreTest {
protected:
    static VeskFaceRecord face(const QUuid& itemID, qint64 index, std::optional<QUuid> cluster = std::nullopt)
    {
        VeskFaceRecord record;
        record.id = QUuid::createUuid();
        record.veskID = itemID;
        record.clusterID = cluster;
        record.faceIndex = index;
        record.featureModel = QStringLiteral("test");
        record.featureVector = {0.5, 0.25};
        record.createdAt = QDateTime::fromSecsSinceEpoch(1000 + index, Qt::UTC);
        return record;
    }

    static void breakTable(SQLiteDatabase& db, const char* replaceWithView)
    {
        ASSERT_EQ(sqlite3_exec(db.nativeHandleForTesting(), replaceWithView, nullptr, nullptr, nullptr), SQLITE_OK);
    }
};

} // namespace

TEST_F(StoreFaces, BackfillCandidatesAreUnanalysedImagesWithTheirFile)
{
    const QString items = dataDir + QStringLiteral("/Items");
    QList<VeskItem> library;
    library.append(makeItem(QStringLiteral("pending"), 5, VeskKind::Image, items + QStringLiteral("/A/a.jpg")));
    library.append(makeItem(QStringLiteral("analysed"), 4, VeskKind::Image, items + QStringLiteral("/B/b.jpg")));
    library.append(makeItem(QStringLiteral("missing file"), 3, VeskKind::Image, items + QStringLiteral("/C/c.jpg")));
    library.append(makeItem(QStringLiteral("no path"), 2, VeskKind::Image));
    library.append(makeItem(QStringLiteral("a file"), 1, VeskKind::File, items + QStringLiteral("/E/e.pdf")));
    library.append(makeItem(QStringLiteral("also pending"), 0, VeskKind::Image, items + QStringLiteral("/F/f.png")));
    for (const char* name : {"/A/a.jpg", "/B/b.jpg", "/E/e.pdf", "/F/f.png"})
        writeFile(items + QLatin1String(name), "x");

    EXPECT_EQ(titles(faceBackfillCandidates(library, {library[1].id})),
              (QStringList{"pending", "also pending"}));
    EXPECT_TRUE(faceBackfillCandidates(library, {library[0].id, library[1].id, library[5].id}).isEmpty());
}

TEST_F(StoreFaces, RemovingFaceDataForgetsOnlyThoseItemsFaces)
{
    const VeskItem kept = makeItem(QStringLiteral("kept"), 2, VeskKind::Image);
    const VeskItem gone = makeItem(QStringLiteral("gone"), 1, VeskKind::Image);
    seed({kept, gone});
    const QUuid pool = QUuid::createUuid();
    const VeskFaceRecord keptFace = face(kept.id, 0, pool);
    const VeskFaceRecord goneFace = face(gone.id, 0, pool);
    const VeskFaceRecord goneSecond = face(gone.id, 1);
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->upsertFaceCluster({pool, QStringLiteral("Ada"), clock->now(), clock->now()}).hasValue());
        ASSERT_TRUE(db->replaceFaces(kept.id, {keptFace}).hasValue());
        ASSERT_TRUE(db->replaceFaces(gone.id, {goneFace, goneSecond}).hasValue());
        const QUuid otherPool = QUuid::createUuid();
        ASSERT_TRUE(db->upsertFaceCluster({otherPool, std::nullopt, clock->now(), clock->now()}).hasValue());
        ASSERT_TRUE(db->rejectFace(goneFace.id, otherPool).hasValue());
        ASSERT_TRUE(db->rejectFace(keptFace.id, otherPool).hasValue());
        ASSERT_TRUE(db->ignoreFace(goneSecond.id).hasValue());
    }
    auto store = makeStore();
    ASSERT_EQ(store->faceRecordsCache().size(), 3);
    ASSERT_EQ(store->faceRejectionsCache().size(), 2);
    ASSERT_EQ(store->ignoredFaceIDsCache().size(), 1);
    const int revision = store->faceDataRevision();

    store->removeFaceData({gone.id});
    EXPECT_EQ(store->faceRecordsCache(), QList<VeskFaceRecord>{keptFace});
    ASSERT_EQ(store->faceRejectionsCache().size(), 1);
    EXPECT_EQ(store->faceRejectionsCache().first().faceID, keptFace.id);
    EXPECT_TRUE(store->ignoredFaceIDsCache().isEmpty());
    EXPECT_EQ(store->faceClustersCache().size(), 2);
    EXPECT_EQ(store->faceDataRevision(), revision);
    // Memory only: the rows stay until the items' rows go.
    EXPECT_EQ(openDatabase()->fetchFaces().value().size(), 3);
}

TEST_F(StoreFaces, AFailedPoolReadEmptiesEveryFaceCache)
{
    const VeskItem item = makeItem(QStringLiteral("portrait"), 1, VeskKind::Image);
    seed({item});
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->replaceFaces(item.id, {face(item.id, 0)}).hasValue());
        breakTable(*db, "PRAGMA foreign_keys=OFF; DROP TABLE vesk_face_clusters; "
                        "CREATE VIEW vesk_face_clusters AS SELECT 'X' AS id;");
    }
    auto store = makeStore();
    EXPECT_EQ(countLines(QStringLiteral("Vesk face cache load error: ")), 1);
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_TRUE(store->faceClustersCache().isEmpty());
    EXPECT_EQ(titles(store->items()), QStringList{"portrait"});
}

TEST_F(StoreFaces, AnUnreadableAnalysisStateStartsNoBackfill)
{
    const QString path = dataDir + QStringLiteral("/Items/A/a.jpg");
    writeFile(path, "x");
    seed({makeItem(QStringLiteral("photo"), 1, VeskKind::Image, path)});
    {
        auto db = openDatabase();
        breakTable(*db, "DROP TABLE vesk_face_analysis; CREATE VIEW vesk_face_analysis AS SELECT 'X' AS other;");
    }
    auto store = makeStore();
    EXPECT_EQ(countLines(QStringLiteral("Vesk face backfill state load error: prepareFailed(")), 1)
        << logLines.join('\n').toStdString();
}
