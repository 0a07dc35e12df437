#include "store/FaceBackfill.h"
#include "common/FaceStoreFixture.h"

#include <sqlite3.h>

using namespace vesk;
using namespace vesk::test;

namespace {

using StoreFaces = FaceStoreTest;

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
    // Read on a worker, so that a large library's list does not hold up the window.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return countLines(QStringLiteral("Vesk face backfill state load error: prepareFailed(")) == 1; }, 5000))
        << logLines.join('\n').toStdString();
}

TEST_F(StoreFaces, ReplacingAnItemsFacesDropsTheirIgnoreMarksAndKeepsOthersInOrder)
{
    const VeskItem first = makeItem(QStringLiteral("first"), 2, VeskKind::Image);
    const VeskItem second = makeItem(QStringLiteral("second"), 1, VeskKind::Image);
    seed({first, second});
    const VeskFaceRecord a = face(first.id, 0);
    const VeskFaceRecord b = face(second.id, 1);
    const VeskFaceRecord c = face(first.id, 2);
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->replaceFaces(first.id, {a, c}).hasValue());
        ASSERT_TRUE(db->replaceFaces(second.id, {b}).hasValue());
        ASSERT_TRUE(db->ignoreFace(a.id).hasValue());
        ASSERT_TRUE(db->ignoreFace(b.id).hasValue());
    }
    auto store = makeStore();
    ASSERT_EQ(store->faceRecordsCache(), (QList<VeskFaceRecord>{a, b, c}));

    const VeskFaceRecord fresh = face(first.id, 0);
    store->cacheFaceRecords(first.id, {fresh});
    EXPECT_EQ(store->faceRecordsCache(), (QList<VeskFaceRecord>{b, fresh}));
    EXPECT_EQ(store->ignoredFaceIDsCache(), QSet<QUuid>{b.id});

    store->cacheFaceRecords(first.id, {});
    EXPECT_EQ(store->faceRecordsCache(), QList<VeskFaceRecord>{b});
    // Items without faces change nothing.
    store->removeFaceData({first.id, QUuid::createUuid()});
    EXPECT_EQ(store->faceRecordsCache(), QList<VeskFaceRecord>{b});
}

TEST_F(StoreFaces, PreviewsAreCutOnceAPhotoOffTheMainThreadAndKeptUntilTheirFaceOrTheirViewGoes)
{
    // A 400 x 400 photo with two faces, one 100 pixels square (136 with its margin) and one too
    // small to cut, and a third face whose item has no file.
    const VeskItem photo = pictureItem(QStringLiteral("photo"), 2, QSize(400, 400));
    const VeskItem noFile = makeItem(QStringLiteral("no file"), 1, VeskKind::Image);
    seed({photo, noFile});
    const VeskFaceRecord big = face(photo.id, 0);
    VeskFaceRecord tiny = face(photo.id, 1);
    tiny.width = 0.02;
    tiny.height = 0.02;
    const VeskFaceRecord orphan = face(noFile.id, 0);
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->replaceFaces(photo.id, {big, tiny}).hasValue());
        ASSERT_TRUE(db->replaceFaces(noFile.id, {orphan}).hasValue());
    }
    auto store = makeStore();
    QSignalSpy ready(store.get(), &VeskStore::facePreviewsChanged);

    EXPECT_TRUE(store->facePreviewImage(big.id).isNull()); // a miss starts the cut
    EXPECT_TRUE(store->facePreviewImage(tiny.id).isNull());
    EXPECT_TRUE(store->facePreviewImage(orphan.id).isNull());
    EXPECT_TRUE(store->facePreviewImage(QUuid::createUuid()).isNull());
    ASSERT_TRUE(ready.wait(5000));
    const QImage preview = store->facePreviewImage(big.id);
    ASSERT_FALSE(preview.isNull());
    EXPECT_EQ(preview.size(), QSize(136, 136));
    EXPECT_EQ(preview.pixelColor(60, 60), QColor(Qt::darkCyan));

    // Kept: the file is not read again.
    QFile::remove(*photo.filePath);
    EXPECT_EQ(store->facePreviewImage(big.id).cacheKey(), preview.cacheKey());
    EXPECT_TRUE(store->facePreviewImage(tiny.id).isNull());
    StoreInternals::waitForFacePreviews(*store);
    drainEvents();
    EXPECT_EQ(ready.count(), 1);

    // Released when nothing shows them any more, and cut again at the next request.
    QImage again(400, 400, QImage::Format_RGB32);
    again.fill(Qt::darkCyan);
    ASSERT_TRUE(again.save(*photo.filePath, "PNG"));
    store->releaseFacePreviews();
    EXPECT_TRUE(store->facePreviewImage(big.id).isNull());
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_FALSE(store->facePreviewImage(big.id).isNull());

    // A new detection of the photo takes the old previews with it.
    store->cacheFaceRecords(photo.id, {face(photo.id, 0)});
    EXPECT_TRUE(store->facePreviewImage(big.id).isNull());
}

TEST_F(StoreFaces, APreviewCutWhileItsFaceWasReplacedIsNotKept)
{
    const VeskItem photo = pictureItem(QStringLiteral("photo"), 1);
    seed({photo});
    const VeskFaceRecord old = face(photo.id, 0);
    ASSERT_TRUE(openDatabase()->replaceFaces(photo.id, {old}).hasValue());
    auto store = makeStore();
    EXPECT_TRUE(store->facePreviewImage(old.id).isNull());
    // Replaced before the cut comes back to the main thread.
    const VeskFaceRecord fresh = face(photo.id, 0);
    store->cacheFaceRecords(photo.id, {fresh});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store->facePreviewImage(fresh.id).isNull(); }, 5000));
    EXPECT_TRUE(store->facePreviewImage(old.id).isNull());

    // A cleared library drops what is kept and what is still being cut.
    const VeskFaceRecord later = face(photo.id, 1);
    store->cacheFaceRecords(photo.id, {fresh, later});
    EXPECT_TRUE(store->facePreviewImage(later.id).isNull());
    store->clearLibrary();
    drainWrites(*store);
    StoreInternals::waitForFacePreviews(*store);
    drainEvents();
    EXPECT_TRUE(store->facePreviewImage(fresh.id).isNull());
    EXPECT_TRUE(store->faceClustersCache().isEmpty());
}
