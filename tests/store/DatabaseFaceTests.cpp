#include "DatabaseTestSupport.h"

#include <unordered_set>

using namespace vesk;
using namespace vesk::test;

namespace {

QDateTime at(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
}

VeskFaceRecord makeFace(const QUuid& itemID, qint64 index, qint64 createdSecs,
                        std::optional<QUuid> cluster = std::nullopt)
{
    VeskFaceRecord face;
    face.id = QUuid::createUuid();
    face.veskID = itemID;
    face.clusterID = cluster;
    face.faceIndex = index;
    face.x = 0.25;
    face.y = 0.5;
    face.width = 0.125;
    face.height = 0.2;
    face.confidence = 0.875;
    face.featureModel = QStringLiteral("face-print-v1");
    face.featureVector = {0.5, -1.0, 2.0};
    face.createdAt = at(createdSecs);
    return face;
}

VeskFaceClusterRecord makePool(const QString& name, qint64 createdSecs)
{
    return {QUuid::createUuid(), name, at(createdSecs), at(createdSecs)};
}

class DatabaseFaces : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = freshDatabasePath();
        db = openOrFail(path);
        ASSERT_TRUE(db);
        raw = std::make_unique<RawConnection>(path);
        photo = makeItem("photo", 10, VeskKind::Image);
        other = makeItem("other", 20, VeskKind::Image);
        ASSERT_TRUE(db->upsertItems({photo, other}));
    }

    QList<VeskFaceRecord> faces() { return db->fetchFaces().valueOr(QList<VeskFaceRecord>{}); }
    QList<VeskFaceRejectionRecord> rejections()
    {
        return db->fetchFaceRejections().valueOr(QList<VeskFaceRejectionRecord>{});
    }

    QString path;
    std::unique_ptr<SQLiteDatabase> db;
    std::unique_ptr<RawConnection> raw;
    VeskItem photo;
    VeskItem other;
};

} // namespace

TEST_F(DatabaseFaces, RoundTripOrderAndConflictKeepsItemAndDate)
{
    const VeskFaceClusterRecord pool = makePool("Ann", 1);
    ASSERT_TRUE(db->upsertFaceCluster(pool));
    const VeskFaceRecord second = makeFace(photo.id, 1, 100, pool.id);
    const VeskFaceRecord first = makeFace(photo.id, 0, 100);
    const VeskFaceRecord earliest = makeFace(other.id, 7, 50);
    ASSERT_TRUE(db->upsertFace(second));
    ASSERT_TRUE(db->upsertFace(first));
    ASSERT_TRUE(db->upsertFace(earliest));

    QList<VeskFaceRecord> expected{earliest, first, second};
    for (VeskFaceRecord& face : expected)
        face.featureVector = {0.5, -1.0, 2.0}; // exactly representable in single precision
    EXPECT_EQ(faces(), expected);

    VeskFaceRecord moved = first;
    moved.veskID = other.id;
    moved.createdAt = at(999);
    moved.clusterID = pool.id;
    moved.featureVector = {};
    ASSERT_TRUE(db->upsertFace(moved));
    const QList<VeskFaceRecord> after = faces();
    ASSERT_EQ(after.size(), 3);
    EXPECT_EQ(after[1].veskID, photo.id);
    EXPECT_EQ(after[1].createdAt, at(100));
    EXPECT_EQ(after[1].clusterID, pool.id);
    EXPECT_TRUE(after[1].featureVector.isEmpty()); // stored as a zero-length blob, still loaded
}

TEST_F(DatabaseFaces, UnmappableRowsAreSkipped)
{
    ASSERT_TRUE(db->upsertFace(makeFace(photo.id, 0, 1)));
    raw->exec("PRAGMA foreign_keys=OFF;");
    raw->exec("INSERT INTO vesk_faces (id, vesk_id, cluster_id, face_index, x, y, width, height, feature_model, "
              "feature_blob, created_at) VALUES "
              "('bad', 'AAAAAAAA-0000-4000-8000-000000000001', NULL, 0, 0, 0, 0, 0, 'm', x'', 2), "
              "('AAAAAAAA-0000-4000-8000-000000000002', 'bad', NULL, 0, 0, 0, 0, 0, 'm', x'', 3), "
              "('AAAAAAAA-0000-4000-8000-000000000003', 'AAAAAAAA-0000-4000-8000-000000000001', 'bad', 0, 0, 0, "
              "0, 0, 'm', x'0000803F00', 4);");
    raw->exec("INSERT INTO vesk_face_clusters VALUES ('bad', 'x', 1, 1), "
              "('AAAAAAAA-0000-4000-8000-00000000000C', NULL, 2, 3);");
    raw->exec("INSERT INTO vesk_face_ignores VALUES ('bad', 1);");
    raw->exec("INSERT INTO vesk_face_rejections VALUES ('bad', 'AAAAAAAA-0000-4000-8000-00000000000C', 1);");
    raw->exec("PRAGMA foreign_keys=ON;");

    const QList<VeskFaceRecord> loaded = faces();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_FALSE(loaded[1].clusterID.has_value());
    EXPECT_EQ(loaded[1].featureVector, QList<double>{1.0});

    const QList<VeskFaceClusterRecord> pools = db->fetchFaceClusters().valueOr(QList<VeskFaceClusterRecord>{});
    ASSERT_EQ(pools.size(), 1);
    EXPECT_FALSE(pools[0].name.has_value());
    EXPECT_EQ(pools[0].modifiedAt, at(3));
    EXPECT_TRUE(db->fetchIgnoredFaceIDs()->isEmpty());
    EXPECT_TRUE(rejections().isEmpty());
}

TEST_F(DatabaseFaces, ForeignKeysAreEnforcedDespiteInsertOrIgnore)
{
    const QUuid missing = QUuid::createUuid();
    auto orphan = db->upsertFace(makeFace(missing, 0, 1));
    ASSERT_FALSE(orphan);
    EXPECT_EQ(orphan.error(), DatabaseError::stepFailed("FOREIGN KEY constraint failed"));
    EXPECT_FALSE(db->upsertFace(makeFace(photo.id, 0, 1, missing)).hasValue());

    const VeskFaceRecord face = makeFace(photo.id, 0, 1);
    ASSERT_TRUE(db->upsertFace(face));
    EXPECT_FALSE(db->setFaceCluster(face.id, missing).hasValue());
    EXPECT_TRUE(db->setFaceCluster(face.id, std::nullopt).hasValue());
    EXPECT_TRUE(db->setFaceCluster(missing, std::nullopt).hasValue()); // no such face: nothing changes
    EXPECT_FALSE(db->ignoreFace(missing).hasValue());
    EXPECT_FALSE(db->rejectFace(face.id, missing).hasValue());
    EXPECT_FALSE(db->markFaceAnalyzed(missing).hasValue());
    EXPECT_EQ(db->ignoreFace(missing).error().kind, DatabaseError::Kind::StepFailed);
}

TEST_F(DatabaseFaces, IgnoresRejectionsAndMarksAreIdempotent)
{
    const VeskFaceClusterRecord pool = makePool("Ann", 1);
    ASSERT_TRUE(db->upsertFaceCluster(pool));
    const VeskFaceRecord face = makeFace(photo.id, 0, 1);
    ASSERT_TRUE(db->upsertFace(face));

    ASSERT_TRUE(db->ignoreFace(face.id));
    ASSERT_TRUE(db->ignoreFace(face.id));
    ASSERT_TRUE(db->rejectFace(face.id, pool.id));
    ASSERT_TRUE(db->rejectFace(face.id, pool.id));
    ASSERT_TRUE(db->markFaceAnalyzed(other.id));
    ASSERT_TRUE(db->markFaceAnalyzed(other.id));
    EXPECT_EQ(*db->fetchIgnoredFaceIDs(), QSet<QUuid>{face.id});
    EXPECT_EQ(rejections(), (QList<VeskFaceRejectionRecord>{{face.id, pool.id}}));
    EXPECT_EQ(raw->count("vesk_face_analysis"), 1);

    ASSERT_TRUE(db->removeFaceRejection(face.id, pool.id));
    ASSERT_TRUE(db->removeFaceRejection(face.id, pool.id));
    EXPECT_TRUE(rejections().isEmpty());

    VeskFaceClusterRecord renamed = pool;
    renamed.name.reset();
    renamed.createdAt = at(500);
    renamed.modifiedAt = at(600);
    ASSERT_TRUE(db->upsertFaceCluster(renamed));
    renamed.createdAt = pool.createdAt;
    EXPECT_EQ(*db->fetchFaceClusters(), QList<VeskFaceClusterRecord>{renamed});
}

TEST_F(DatabaseFaces, AnalysedItemsAreMarksOrStoredFaces)
{
    const VeskItem neither = makeItem("neither", 30, VeskKind::Image);
    ASSERT_TRUE(db->upsertItem(neither));
    ASSERT_TRUE(db->upsertFace(makeFace(photo.id, 0, 1)));
    ASSERT_TRUE(db->upsertFace(makeFace(photo.id, 1, 1)));
    ASSERT_TRUE(db->markFaceAnalyzed(other.id));
    EXPECT_EQ(*db->fetchFaceAnalyzedItemIDs(), (QSet<QUuid>{photo.id, other.id}));
}

TEST_F(DatabaseFaces, ReplaceFacesDropsOldFacesWithTheirRejectionsAndIgnores)
{
    const VeskFaceClusterRecord pool = makePool("Ann", 1);
    ASSERT_TRUE(db->upsertFaceCluster(pool));
    const VeskFaceRecord old = makeFace(photo.id, 0, 1, pool.id);
    const VeskFaceRecord kept = makeFace(other.id, 0, 2);
    ASSERT_TRUE(db->replaceFaces(photo.id, {old}));
    ASSERT_TRUE(db->upsertFace(kept));
    ASSERT_TRUE(db->rejectFace(old.id, pool.id));
    ASSERT_TRUE(db->ignoreFace(old.id));
    ASSERT_TRUE(db->markFaceAnalyzed(photo.id));

    // Reusing the identifier does not bring back its rejection or ignore.
    VeskFaceRecord again = old;
    again.faceIndex = 3;
    ASSERT_TRUE(db->replaceFaces(photo.id, {again}));
    EXPECT_EQ(faces(), (QList<VeskFaceRecord>{again, kept}));
    EXPECT_TRUE(rejections().isEmpty());
    EXPECT_TRUE(db->fetchIgnoredFaceIDs()->isEmpty());

    ASSERT_TRUE(db->replaceFaces(photo.id, {}));
    EXPECT_EQ(faces(), QList<VeskFaceRecord>{kept});
    EXPECT_TRUE(db->fetchFaceAnalyzedItemIDs()->contains(photo.id));

    // A failing face rolls the whole replacement back.
    ASSERT_TRUE(db->replaceFaces(photo.id, {old}));
    auto failed = db->replaceFaces(photo.id, {makeFace(photo.id, 0, 5), makeFace(photo.id, 1, 5, QUuid::createUuid())});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().kind, DatabaseError::Kind::StepFailed);
    EXPECT_EQ(faces(), (QList<VeskFaceRecord>{old, kept}));
}

TEST_F(DatabaseFaces, MergeMovesFacesAndDropsRejectionsOfBothKinds)
{
    const VeskFaceClusterRecord a = makePool("A", 1), b = makePool("B", 2);
    ASSERT_TRUE(db->upsertFaceCluster(a));
    ASSERT_TRUE(db->upsertFaceCluster(b));
    const VeskFaceRecord inA = makeFace(photo.id, 0, 1, a.id);
    const VeskFaceRecord alsoInA = makeFace(photo.id, 1, 1, a.id);
    const VeskFaceRecord inB = makeFace(other.id, 0, 2, b.id);
    const VeskFaceRecord loose = makeFace(other.id, 1, 2);
    for (const VeskFaceRecord& face : {inA, alsoInA, inB, loose})
        ASSERT_TRUE(db->upsertFace(face));
    ASSERT_TRUE(db->rejectFace(inA.id, b.id));    // goes: the face now belongs to B
    ASSERT_TRUE(db->rejectFace(loose.id, a.id));  // goes with A by cascade
    ASSERT_TRUE(db->rejectFace(loose.id, b.id));  // stays

    ASSERT_TRUE(db->mergeFaceCluster(a.id, a.id));
    EXPECT_EQ(db->fetchFaceClusters()->size(), 2);
    EXPECT_EQ(rejections().size(), 3);

    ASSERT_TRUE(db->mergeFaceCluster(a.id, b.id));
    EXPECT_EQ(*db->fetchFaceClusters(), QList<VeskFaceClusterRecord>{b});
    for (const VeskFaceRecord& face : faces())
        EXPECT_EQ(face.clusterID, face.id == loose.id ? std::nullopt : std::optional<QUuid>(b.id));
    EXPECT_EQ(rejections(), (QList<VeskFaceRejectionRecord>{{loose.id, b.id}}));
}

TEST_F(DatabaseFaces, DeletingAnItemCascadesToItsFaceData)
{
    const VeskFaceClusterRecord pool = makePool("Ann", 1);
    ASSERT_TRUE(db->upsertFaceCluster(pool));
    const VeskFaceRecord face = makeFace(photo.id, 0, 1, pool.id);
    const VeskFaceRecord survivor = makeFace(other.id, 0, 1, pool.id);
    ASSERT_TRUE(db->upsertFace(face));
    ASSERT_TRUE(db->upsertFace(survivor));
    ASSERT_TRUE(db->rejectFace(face.id, pool.id));
    ASSERT_TRUE(db->ignoreFace(face.id));
    ASSERT_TRUE(db->markFaceAnalyzed(photo.id));

    ASSERT_TRUE(db->deleteItems({photo.id}));
    EXPECT_EQ(faces(), QList<VeskFaceRecord>{survivor});
    EXPECT_TRUE(rejections().isEmpty());
    EXPECT_TRUE(db->fetchIgnoredFaceIDs()->isEmpty());
    EXPECT_EQ(*db->fetchFaceAnalyzedItemIDs(), QSet<QUuid>{other.id});
    EXPECT_EQ(db->fetchFaceClusters()->size(), 1);
}

TEST(VeskFaceRecord, EqualityCoversTheVectorAndTreatsSignedZerosAlike)
{
    VeskFaceRecord a = makeFace(QUuid::createUuid(), 0, 1);
    VeskFaceRecord b = a;
    a.x = 0.0;
    b.x = -0.0;
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));

    VeskFaceRecord longer = a;
    longer.featureVector.append(0.0);
    VeskFaceRecord pooled = a;
    pooled.clusterID = QUuid::createUuid();
    std::unordered_set<VeskFaceRecord> set{a, b, longer, pooled};
    EXPECT_EQ(set.size(), 3u);

    const VeskFaceRejectionRecord r{QUuid::createUuid(), QUuid::createUuid()};
    EXPECT_NE(r, (VeskFaceRejectionRecord{r.clusterID, r.faceID}));
}
