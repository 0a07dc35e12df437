// Person pools and face decisions in the store: caches, database and search kept equal.
#include "common/FaceStoreFixture.h"

#include "search/LexicalMatch.h"

namespace vesk::test {
namespace {

class StorePeople : public FaceStoreTest {
protected:
    // Two photos; faces 0-2 in the first, 3-5 in the second; "Ana" owns face 0 and rejected face 1.
    void seedPeople()
    {
        first = makeItem(QStringLiteral("beach"), 2, VeskKind::Image);
        second = makeItem(QStringLiteral("garden"), 1, VeskKind::Image);
        seed({first, second});
        ana = VeskFaceClusterRecord{QUuid::createUuid(), QStringLiteral("ana"), clock->now(), clock->now()};
        for (int i = 0; i < 6; ++i)
            faces.append(face(i < 3 ? first.id : second.id, i, i == 0 ? std::optional<QUuid>(ana.id) : std::nullopt));
        auto db = openDatabase();
        ASSERT_TRUE(db->upsertFaceCluster(ana).hasValue());
        ASSERT_TRUE(db->replaceFaces(first.id, faces.mid(0, 3)).hasValue());
        ASSERT_TRUE(db->replaceFaces(second.id, faces.mid(3, 3)).hasValue());
        ASSERT_TRUE(db->rejectFace(faces[1].id, ana.id).hasValue());
    }

    // What the database holds, as a fresh store loads it.
    struct Stored {
        QList<VeskFaceRecord> faces;
        QList<VeskFaceClusterRecord> pools;
        QList<VeskFaceRejectionRecord> rejections;
        QSet<QUuid> ignored;
    };
    Stored stored() const
    {
        auto db = openDatabase();
        return {db->fetchFaces().value(), db->fetchFaceClusters().value(), db->fetchFaceRejections().value(),
                db->fetchIgnoredFaceIDs().value()};
    }
    void expectDatabaseEqualsCaches(const VeskStore& store) const
    {
        const Stored db = stored();
        QList<VeskFaceRecord> cached = store.faceRecordsCache();
        EXPECT_EQ(QSet<VeskFaceRecord>(db.faces.begin(), db.faces.end()),
                  QSet<VeskFaceRecord>(cached.begin(), cached.end()));
        EXPECT_EQ(db.pools, store.faceClustersCache());
        EXPECT_EQ(QSet<VeskFaceRejectionRecord>(db.rejections.begin(), db.rejections.end()),
                  QSet<VeskFaceRejectionRecord>(store.faceRejectionsCache().begin(), store.faceRejectionsCache().end()));
        EXPECT_EQ(db.ignored, store.ignoredFaceIDsCache());
    }
    std::optional<QUuid> poolOf(const VeskStore& store, const QUuid& faceID) const
    {
        for (const VeskFaceRecord& f : store.faceRecordsCache()) {
            if (f.id == faceID)
                return f.clusterID;
        }
        return std::nullopt;
    }
    static bool finds(const VeskStore& store, const QString& query, const QUuid& id)
    {
        return store.lexicalMatch(query).scores.contains(id);
    }

    VeskItem first;
    VeskItem second;
    VeskFaceClusterRecord ana;
    QList<VeskFaceRecord> faces;
};

TEST_F(StorePeople, NamingAFaceJoinsTheSamePersonOrMakesANewPool)
{
    seedPeople();
    auto store = makeStore();
    const int revision = store->faceDataRevision();

    // " Ana " is the existing "ana": no new pool, the pool keeps its name, the rejection goes.
    EXPECT_TRUE(store->createPersonPool(QStringLiteral(" Ana "), faces[1].id));
    EXPECT_EQ(store->faceClustersCache(), QList<VeskFaceClusterRecord>{ana});
    EXPECT_EQ(poolOf(*store, faces[1].id), ana.id);
    EXPECT_TRUE(store->faceRejectionsCache().isEmpty());
    EXPECT_EQ(store->faceDataRevision(), revision + 1);

    // A new name makes a pool; naming a face of another pool moves it.
    clock->advance(60);
    EXPECT_TRUE(store->createPersonPool(QStringLiteral("Zoë\n"), faces[0].id));
    ASSERT_EQ(store->faceClustersCache().size(), 2);
    const VeskFaceClusterRecord zoe = store->faceClustersCache().last();
    EXPECT_EQ(zoe.name, QStringLiteral("Zoë"));
    EXPECT_EQ(zoe.createdAt, clock->now());
    EXPECT_EQ(zoe.modifiedAt, clock->now());
    EXPECT_EQ(poolOf(*store, faces[0].id), zoe.id);
    EXPECT_TRUE(store->createPersonPool(QStringLiteral("ZOE"), faces[4].id));
    EXPECT_EQ(store->faceClustersCache().size(), 2);

    // The named people: ana keeps one face in the first photo, Zoë two across both.
    EXPECT_EQ(store->personPoolSummaries(),
              (QList<VeskPersonPoolSummary>{{ana.id, "ana", 1, 1, faces[1].id}, {zoe.id, "Zoë", 2, 2, faces[0].id}}));
    EXPECT_EQ(store->faceStatistics(), (VeskFaceStatistics{6, 3, 3}));
    expectDatabaseEqualsCaches(*store);

    // Blank names and unknown faces change nothing.
    EXPECT_FALSE(store->createPersonPool(QStringLiteral("  \t"), faces[2].id));
    EXPECT_FALSE(store->createPersonPool(QStringLiteral("Bo"), QUuid::createUuid()));
    EXPECT_EQ(store->faceClustersCache().size(), 2);
    EXPECT_TRUE(logLines.isEmpty());
}

TEST_F(StorePeople, AFailedAssignmentLeavesDatabaseAndCachesAsTheyWere)
{
    seedPeople();
    auto store = makeStore();
    const int revision = store->faceDataRevision();
    refuseWrites(*store, {"vesk_faces"});

    // The rejection removal and the new pool would succeed alone; the assignment fails.
    EXPECT_FALSE(store->createPersonPool(QStringLiteral("Bo"), faces[1].id));
    EXPECT_FALSE(store->createPersonPool(QStringLiteral("Ana"), faces[1].id));
    EXPECT_FALSE(store->confirmFace(faces[1].id, ana.id));
    EXPECT_EQ(store->confirmFaces({faces[1].id, faces[2].id}, ana.id), 0);
    refuseWrites(*store, {});

    EXPECT_EQ(countLines(QStringLiteral("Vesk person pool create error: ")), 2);
    EXPECT_EQ(countLines(QStringLiteral("Vesk face confirmation error: ")), 1);
    EXPECT_EQ(countLines(QStringLiteral("Vesk bulk face confirmation error: ")), 2);
    EXPECT_EQ(store->faceDataRevision(), revision);
    EXPECT_EQ(store->faceClustersCache(), QList<VeskFaceClusterRecord>{ana});
    EXPECT_EQ(store->faceRejectionsCache(), (QList<VeskFaceRejectionRecord>{{faces[1].id, ana.id}}));
    EXPECT_EQ(poolOf(*store, faces[1].id), std::nullopt);
    expectDatabaseEqualsCaches(*store);
}

TEST_F(StorePeople, ConfirmingRejectingAndIgnoring)
{
    seedPeople();
    auto store = makeStore();
    int revision = store->faceDataRevision();

    // Each distinct unassigned face once; confirmed faces and unknown identifiers are skipped.
    EXPECT_EQ(store->confirmFaces({faces[2].id, faces[2].id, faces[0].id, QUuid::createUuid()}, ana.id), 1);
    EXPECT_EQ(store->faceDataRevision(), ++revision);
    EXPECT_EQ(store->confirmFaces({faces[0].id, faces[2].id}, ana.id), 0);
    EXPECT_EQ(store->confirmFaces({}, ana.id), 0);
    EXPECT_EQ(store->faceDataRevision(), revision);

    // Rejecting twice keeps one record; confirming drops the rejection of that pool only.
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Bo"), faces[5].id));
    const QUuid other = store->faceClustersCache().last().id;
    revision = store->faceDataRevision();
    EXPECT_TRUE(store->rejectFace(faces[3].id, ana.id));
    EXPECT_TRUE(store->rejectFace(faces[3].id, ana.id));
    EXPECT_TRUE(store->rejectFace(faces[3].id, other));
    EXPECT_EQ(store->faceDataRevision(), revision += 3);
    EXPECT_EQ(store->faceRejectionsCache().size(), 3);
    EXPECT_TRUE(store->confirmFace(faces[3].id, ana.id));
    EXPECT_EQ(store->faceRejectionsCache(),
              (QList<VeskFaceRejectionRecord>{{faces[1].id, ana.id}, {faces[3].id, other}}));
    // A confirmed face moves when confirmed elsewhere; unknown faces are refused.
    EXPECT_TRUE(store->confirmFace(faces[3].id, other));
    EXPECT_EQ(poolOf(*store, faces[3].id), other);
    EXPECT_FALSE(store->confirmFace(QUuid::createUuid(), ana.id));

    // Only unassigned faces can be ignored; ignored faces leave the unassigned list and counts.
    EXPECT_FALSE(store->ignoreFace(faces[0].id));
    EXPECT_TRUE(store->ignoreFace(faces[4].id));
    QList<QUuid> unassigned;
    for (const VeskFaceRecord& f : store->unassignedFaces(48))
        unassigned.append(f.id);
    EXPECT_EQ(unassigned, (QList<QUuid>{faces[1].id}));
    EXPECT_EQ(store->faceStatistics(), (VeskFaceStatistics{6, 4, 1}));
    EXPECT_TRUE(store->unassignedFaces(-1).isEmpty());
    expectDatabaseEqualsCaches(*store);

    // A refused rejection or ignore changes nothing.
    const int before = store->faceDataRevision();
    refuseWrites(*store, {"vesk_face_rejections", "vesk_face_ignores"});
    EXPECT_FALSE(store->rejectFace(faces[5].id, ana.id));
    EXPECT_FALSE(store->ignoreFace(faces[1].id));
    refuseWrites(*store, {});
    EXPECT_EQ(countLines(QStringLiteral("Vesk face rejection error: ")), 1);
    EXPECT_EQ(countLines(QStringLiteral("Vesk ignore face error: ")), 1);
    EXPECT_EQ(store->faceDataRevision(), before);
    expectDatabaseEqualsCaches(*store);
}

TEST_F(StorePeople, RenamingAndMergingPools)
{
    seedPeople();
    auto store = makeStore();
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Bo"), faces[3].id));
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Bo"), faces[4].id));
    const QUuid bo = store->faceClustersCache().last().id;
    ASSERT_TRUE(store->rejectFace(faces[5].id, bo));
    ASSERT_TRUE(store->rejectFace(faces[3].id, ana.id)); // a former Bo face rejected by ana
    ASSERT_TRUE(store->rejectFace(faces[2].id, ana.id));

    clock->advance(100);
    EXPECT_FALSE(store->renamePersonPool(bo, QStringLiteral("   ")));
    EXPECT_FALSE(store->renamePersonPool(QUuid::createUuid(), QStringLiteral("X")));
    EXPECT_TRUE(store->renamePersonPool(bo, QStringLiteral(" Bob ")));
    const VeskFaceClusterRecord bob = store->faceClustersCache().last();
    EXPECT_EQ(bob.name, QStringLiteral("Bob"));
    EXPECT_EQ(bob.modifiedAt, clock->now());
    EXPECT_LT(bob.createdAt, clock->now());

    // Bob into ana: ana keeps its name; Bob's own rejections and ana's of former Bob faces go.
    EXPECT_FALSE(store->mergePersonPools(bob.id, bob.id));
    EXPECT_FALSE(store->mergePersonPools(bob.id, QUuid::createUuid()));
    EXPECT_TRUE(store->mergePersonPools(bob.id, ana.id));
    EXPECT_EQ(store->faceClustersCache(), QList<VeskFaceClusterRecord>{ana});
    EXPECT_EQ(poolOf(*store, faces[3].id), ana.id);
    EXPECT_EQ(poolOf(*store, faces[4].id), ana.id);
    EXPECT_EQ(store->faceRejectionsCache(),
              (QList<VeskFaceRejectionRecord>{{faces[1].id, ana.id}, {faces[2].id, ana.id}}));
    expectDatabaseEqualsCaches(*store);

    // Refused writes: logged, nothing changes.
    refuseWrites(*store, {"vesk_face_clusters"});
    EXPECT_FALSE(store->renamePersonPool(ana.id, QStringLiteral("Anna")));
    refuseWrites(*store, {});
    EXPECT_EQ(countLines(QStringLiteral("Vesk person pool rename error: ")), 1);
    EXPECT_EQ(store->faceClustersCache(), QList<VeskFaceClusterRecord>{ana});
}

TEST_F(StorePeople, PeoplesNamesAreSearchable)
{
    seedPeople();
    auto store = makeStore();
    EXPECT_TRUE(finds(*store, QStringLiteral("ana"), first.id));
    EXPECT_FALSE(finds(*store, QStringLiteral("ana"), second.id));

    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Grace"), faces[3].id));
    EXPECT_TRUE(finds(*store, QStringLiteral("grace"), second.id));
    const QUuid grace = store->faceClustersCache().last().id;
    ASSERT_TRUE(store->renamePersonPool(grace, QStringLiteral("Amazing Grace")));
    EXPECT_TRUE(finds(*store, QStringLiteral("amazing"), second.id));
    ASSERT_TRUE(store->mergePersonPools(grace, ana.id));
    EXPECT_FALSE(finds(*store, QStringLiteral("amazing"), second.id));
    EXPECT_TRUE(finds(*store, QStringLiteral("ana"), second.id));

    // A search on screen follows at once.
    store->setSearchText(QStringLiteral("ana"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->filteredItems().size() == 2; }, 2000));
}

TEST_F(StorePeople, SuggestionsComeFromTheCaches)
{
    seedPeople();
    auto store = makeStore();
    // faces[1] is rejected by ana; every print is equal, so the others are suggested, oldest first.
    QList<QUuid> suggested;
    for (const VeskFaceSuggestion& s : store->faceSuggestions(ana.id, 12, 0.72))
        suggested.append(s.faceID);
    EXPECT_EQ(suggested, (QList<QUuid>{faces[2].id, faces[3].id, faces[4].id, faces[5].id}));
    EXPECT_EQ(store->faceSuggestions(ana.id, 2, 0.72).size(), 2);
    EXPECT_TRUE(store->faceSuggestions(QUuid::createUuid(), 12, 0.72).isEmpty());
    ASSERT_TRUE(store->ignoreFace(faces[2].id));
    ASSERT_EQ(store->confirmFaces({faces[3].id}, ana.id), 1);
    EXPECT_EQ(store->faceSuggestions(ana.id, 12, 0.72).size(), 2);
}

} // namespace
} // namespace vesk::test
