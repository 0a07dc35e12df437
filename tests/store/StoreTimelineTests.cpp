#include "store/StoreTestSupport.h"

using namespace vesk;
using namespace vesk::test;

namespace {

VeskFaceRecord faceIn(const QUuid& itemID, qint64 index, std::optional<QUuid> pool)
{
    VeskFaceRecord record;
    record.id = QUuid::createUuid();
    record.veskID = itemID;
    record.clusterID = pool;
    record.faceIndex = index;
    record.featureModel = QStringLiteral("test");
    record.createdAt = QDateTime::fromSecsSinceEpoch(1000 + index, Qt::UTC);
    return record;
}

} // namespace

TEST_F(StoreTest, PhotosOfAPersonArePicturesHoldingTheirFaceEachOnceNewestFirst)
{
    const QString items = dataDir + QStringLiteral("/Items");
    const VeskItem older = makeItem(QStringLiteral("older"), 10, VeskKind::Image, items + QStringLiteral("/A/a.jpg"));
    const VeskItem twoFaces = makeItem(QStringLiteral("two faces"), 30, VeskKind::Image, items + QStringLiteral("/B/b.png"));
    const VeskItem capitals = makeItem(QStringLiteral("capitals"), 20, VeskKind::File, items + QStringLiteral("/C/C.JPG"));
    const VeskItem pdf = makeItem(QStringLiteral("pdf"), 40, VeskKind::File, items + QStringLiteral("/D/d.pdf"));
    const VeskItem noFile = makeItem(QStringLiteral("no file"), 50, VeskKind::Image);
    const VeskItem someoneElse = makeItem(QStringLiteral("someone else"), 60, VeskKind::Image, items + QStringLiteral("/F/f.webp"));
    const VeskItem unassigned = makeItem(QStringLiteral("unassigned"), 70, VeskKind::Image, items + QStringLiteral("/G/g.gif"));
    seed({older, twoFaces, capitals, pdf, noFile, someoneElse, unassigned});

    const QUuid ann = QUuid::createUuid();
    const QUuid bob = QUuid::createUuid();
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->upsertFaceCluster({ann, QStringLiteral("Ann"), clock->now(), clock->now()}).hasValue());
        ASSERT_TRUE(db->upsertFaceCluster({bob, QStringLiteral("Bob"), clock->now(), clock->now()}).hasValue());
        ASSERT_TRUE(db->replaceFaces(older.id, {faceIn(older.id, 0, ann)}).hasValue());
        ASSERT_TRUE(db->replaceFaces(twoFaces.id, {faceIn(twoFaces.id, 0, ann), faceIn(twoFaces.id, 1, ann),
                                                   faceIn(twoFaces.id, 2, bob)}).hasValue());
        ASSERT_TRUE(db->replaceFaces(capitals.id, {faceIn(capitals.id, 0, ann)}).hasValue());
        ASSERT_TRUE(db->replaceFaces(pdf.id, {faceIn(pdf.id, 0, ann)}).hasValue());
        ASSERT_TRUE(db->replaceFaces(noFile.id, {faceIn(noFile.id, 0, ann)}).hasValue());
        ASSERT_TRUE(db->replaceFaces(someoneElse.id, {faceIn(someoneElse.id, 0, bob)}).hasValue());
        ASSERT_TRUE(db->replaceFaces(unassigned.id, {faceIn(unassigned.id, 0, std::nullopt)}).hasValue());
    }
    auto store = makeStore();

    EXPECT_EQ(titles(store->photosForPersonPool(ann)), (QStringList{"two faces", "capitals", "older"}));
    EXPECT_EQ(titles(store->photosForPersonPool(bob)), (QStringList{"someone else", "two faces"}));
    EXPECT_TRUE(store->photosForPersonPool(QUuid::createUuid()).isEmpty());
}
