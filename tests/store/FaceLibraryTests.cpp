// The faces-and-people area on its own, behind a host the test plays instead of the store: what a
// refused write, a library without a file and a check of the library file still under way do to
// the face caches, the revision and the rest of the library.
#include "common/FaceStoreFixture.h"

#include "platform/SerialExecutor.h"
#include "store/FaceLibrary.h"
#include "store/FaceLibraryHost.h"
#include "store/LibraryReading.h"
#include "store/StoreTestSupport.h"

#include <QFile>
#include <functional>

namespace vesk::test {
namespace {

class FakeFaceHost final : public FaceLibraryHost {
public:
    const QList<VeskItem>& items() const override { return library; }
    ItemsReading itemsReading() const override { return ItemsReading{gate, &library, &replacements}; }
    qsizetype indexOfItem(const QUuid& id) const override { return positionInList(library, id); }
    bool updateItemFromWork(const VeskItem& item) override
    {
        const qsizetype index = indexOfItem(item.id);
        if (index < 0)
            return false;
        const ReadGate::Change change(*gate);
        library[index] = item;
        return true;
    }
    SQLiteDatabase* database() const override { return db; }
    bool readOnly() const override { return false; }
    bool libraryCheckPending() const override { return checkPending; }
    void afterLibraryCheck(std::function<void()> work, std::function<void()> ifDropped) override
    {
        if (checkPending)
            afterCheck.append({std::move(work), std::move(ifDropped)});
        else
            work();
    }
    std::optional<QFuture<Expected<void, DatabaseError>>> writeInBackground(
        std::function<Expected<void, DatabaseError>(SQLiteDatabase&)>) override
    {
        return std::nullopt;
    }
    SerialExecutor& libraryTasksWorker() override { return worker; }
    void refreshSearchAfterFaceChange() override { ++searchRefreshes; }
    void reportRefused(const QString& title, const QString&, const DatabaseError&) override { refusals.append(title); }
    void adjustIndexingCount(int delta) override { indexing = std::max(0, indexing + delta); }

    void finishCheck(bool passed)
    {
        checkPending = false;
        for (const auto& [work, ifDropped] : std::exchange(afterCheck, {}))
            passed ? work() : ifDropped();
    }

    QList<VeskItem> library;
    std::shared_ptr<ReadGate> gate = std::make_shared<ReadGate>();
    quint64 replacements = 0;
    SQLiteDatabase* db = nullptr;
    bool checkPending = false;
    QList<std::pair<std::function<void()>, std::function<void()>>> afterCheck;
    SerialExecutor worker;
    int searchRefreshes = 0;
    QStringList refusals;
    int indexing = 0;
};

// The four caches, compared without their order: a fresh read orders rows as the file does, the
// caches as the changes came.
struct FaceCaches {
    QSet<VeskFaceRecord> faces;
    QHash<QUuid, VeskFaceClusterRecord> pools;
    QSet<VeskFaceRejectionRecord> rejections;
    QSet<QUuid> ignored;

    explicit FaceCaches(const FaceLibrary& library)
        : faces(library.faceRecordsCache().begin(), library.faceRecordsCache().end()),
          rejections(library.faceRejectionsCache().begin(), library.faceRejectionsCache().end()),
          ignored(library.ignoredFaceIDsCache())
    {
        for (const VeskFaceClusterRecord& pool : library.faceClustersCache())
            pools.insert(pool.id, pool);
    }
    friend bool operator==(const FaceCaches&, const FaceCaches&) = default;

    // What start-up would have read, to give a library without a file the same caches.
    LibraryReading asReading() const
    {
        LibraryReading reading;
        reading.faces = QList<VeskFaceRecord>(faces.begin(), faces.end());
        reading.faceClusters = pools.values();
        reading.faceRejections = QList<VeskFaceRejectionRecord>(rejections.begin(), rejections.end());
        reading.ignoredFaceIDs = ignored;
        return reading;
    }
};

class FaceLibraryArea : public FaceStoreTest {
protected:
    // Two photos in the file: faces 0-2 in the first, 3-5 in the second; "ana" owns face 0 and
    // rejected face 1, "bo" owns face 3.
    std::unique_ptr<SQLiteDatabase> seededDatabase()
    {
        first = makeItem(QStringLiteral("beach"), 2, VeskKind::Image);
        second = makeItem(QStringLiteral("garden"), 1, VeskKind::Image);
        host.library = {first, second};
        ana = VeskFaceClusterRecord{QUuid::createUuid(), QStringLiteral("ana"), clock->now(), clock->now()};
        bo = VeskFaceClusterRecord{QUuid::createUuid(), QStringLiteral("bo"), clock->now(), clock->now()};
        faces.clear();
        for (int i = 0; i < 6; ++i) {
            const std::optional<QUuid> pool = i == 0 ? std::optional(ana.id) : i == 3 ? std::optional(bo.id) : std::nullopt;
            faces.append(face(i < 3 ? first.id : second.id, i, pool));
        }
        auto opened = SQLiteDatabase::open(dataDir + QStringLiteral("/faces.sqlite3"));
        EXPECT_TRUE(opened.hasValue());
        if (!opened)
            return nullptr;
        std::unique_ptr<SQLiteDatabase> db = std::move(opened).value();
        EXPECT_TRUE(db->upsertItems({first, second}).hasValue());
        EXPECT_TRUE(db->upsertFaceCluster(ana).hasValue());
        EXPECT_TRUE(db->upsertFaceCluster(bo).hasValue());
        EXPECT_TRUE(db->replaceFaces(first.id, faces.mid(0, 3)).hasValue());
        EXPECT_TRUE(db->replaceFaces(second.id, faces.mid(3, 3)).hasValue());
        EXPECT_TRUE(db->rejectFace(faces[1].id, ana.id).hasValue());
        return db;
    }

    // Every insert, update and delete on the connection is refused while set.
    static void refuseEveryWrite(SQLiteDatabase& db, bool refuse)
    {
        using Authorizer = int (*)(void*, int, const char*, const char*, const char*, const char*);
        const Authorizer refuseWrites = [](void*, int action, const char*, const char*, const char*, const char*) {
            const bool write = action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE;
            return write ? SQLITE_DENY : SQLITE_OK;
        };
        sqlite3_set_authorizer(db.nativeHandleForTesting(), refuse ? refuseWrites : nullptr, nullptr);
    }

    FakeFaceHost host;
    VeskItem first;
    VeskItem second;
    VeskFaceClusterRecord ana;
    VeskFaceClusterRecord bo;
    QList<VeskFaceRecord> faces;
};

TEST_F(FaceLibraryArea, EachDecisionKeepsCachesAndFileEqualAndARefusedOneChangesNothing)
{
    struct Decision {
        const char* name;
        std::function<bool(FaceLibrary&)> decide;
        // Who is in which pool changed: people's names are searchable.
        bool peopleChanged;
        QString refusedTitle;
    };
    const QList<Decision> decisions{
        {"name a face", [&](FaceLibrary& l) { return l.createPersonPool(QStringLiteral("Ana"), faces[1].id); }, true,
         QStringLiteral("Person not named")},
        {"rename", [&](FaceLibrary& l) { return l.renamePersonPool(ana.id, QStringLiteral("Anna")); }, true,
         QStringLiteral("Person not renamed")},
        {"merge", [&](FaceLibrary& l) { return l.mergePersonPools(bo.id, ana.id); }, true,
         QStringLiteral("People not merged")},
        {"confirm", [&](FaceLibrary& l) { return l.confirmFace(faces[2].id, bo.id); }, true,
         QStringLiteral("Face not confirmed")},
        {"confirm several", [&](FaceLibrary& l) { return l.confirmFaces({faces[2].id, faces[4].id}, ana.id) == 2; },
         true, QStringLiteral("Faces not confirmed")},
        {"reject", [&](FaceLibrary& l) { return l.rejectFace(faces[4].id, bo.id); }, false,
         QStringLiteral("Face not rejected")},
        {"ignore", [&](FaceLibrary& l) { return l.ignoreFace(faces[5].id); }, false,
         QStringLiteral("Face not ignored")},
    };

    for (const Decision& decision : decisions) {
        SCOPED_TRACE(decision.name);
        const std::unique_ptr<SQLiteDatabase> db = seededDatabase();
        ASSERT_TRUE(db);
        host.db = db.get();
        host.searchRefreshes = 0;
        host.refusals.clear();
        FaceLibrary library(services(), host);
        library.loadCaches();
        const FaceCaches before(library);
        const int revision = library.faceDataRevision();

        // Refused by the file: the caches, the revision and search stay as they were, and it is said.
        refuseEveryWrite(*db, true);
        EXPECT_FALSE(decision.decide(library));
        refuseEveryWrite(*db, false);
        EXPECT_TRUE(FaceCaches(library) == before);
        EXPECT_EQ(library.faceDataRevision(), revision);
        EXPECT_EQ(host.searchRefreshes, 0);
        EXPECT_EQ(host.refusals, QStringList{decision.refusedTitle});

        // Written: the caches are what the file now holds.
        EXPECT_TRUE(decision.decide(library));
        EXPECT_EQ(library.faceDataRevision(), revision + 1);
        EXPECT_EQ(host.searchRefreshes, decision.peopleChanged ? 1 : 0);
        FaceLibrary reread(services(), host);
        reread.loadCaches();
        EXPECT_TRUE(FaceCaches(library) == FaceCaches(reread));
        const FaceCaches withFile(library);

        // Without a file the same decision changes the caches in the same way.
        host.db = nullptr;
        FaceLibrary inMemory(services(), host);
        inMemory.adoptReading(before.asReading());
        EXPECT_TRUE(decision.decide(inMemory));
        EXPECT_TRUE(FaceCaches(inMemory) == withFile);
    }
}

TEST_F(FaceLibraryArea, AnalysedFacesWaitForTheCheckOfTheLibraryFileAndEndWithItWhenItFails)
{
    for (const bool passes : {true, false}) {
        SCOPED_TRACE(passes ? "the check passes" : "the check finds damage");
        QFile::remove(dataDir + QStringLiteral("/faces.sqlite3"));
        const std::unique_ptr<SQLiteDatabase> db = seededDatabase();
        ASSERT_TRUE(db);
        host.db = db.get();
        host.checkPending = true;
        FaceLibrary library(services(), host);
        library.loadCaches();
        const FaceCaches before(library);
        const auto storedFacesOf = [&](const QUuid& itemID) {
            QSet<QUuid> ids;
            const QList<VeskFaceRecord> stored = db->fetchFaces().valueOr(QList<VeskFaceRecord>{});
            for (const VeskFaceRecord& f : stored) {
                if (f.veskID == itemID)
                    ids.insert(f.id);
            }
            return ids;
        };
        const QSet<QUuid> storedBefore{faces[3].id, faces[4].id, faces[5].id};
        const QList<VeskFaceRecord> found{face(second.id, 7), face(second.id, 8)};
        host.indexing = 1; // raised when the analysis started

        // Face rows name their item's row, which may itself wait for the check: nothing is
        // written, kept or appended yet, and the analysis still counts as under way.
        library.saveDetectedFaces(second.id, QStringLiteral("menu"), QString(), found);
        EXPECT_TRUE(FaceCaches(library) == before);
        EXPECT_EQ(storedFacesOf(second.id), storedBefore);
        EXPECT_EQ(host.indexing, 1);
        EXPECT_FALSE(host.library[1].searchableText.utf8().contains("menu"));

        const int revision = library.faceDataRevision();
        host.finishCheck(passes);
        EXPECT_EQ(host.indexing, 0) << "the analysis is over either way";
        if (!passes) {
            EXPECT_TRUE(FaceCaches(library) == before);
            EXPECT_EQ(library.faceDataRevision(), revision);
            EXPECT_EQ(storedFacesOf(second.id), storedBefore);
            EXPECT_FALSE(host.library[1].searchableText.utf8().contains("menu"));
            continue;
        }
        QList<VeskFaceRecord> kept;
        for (const VeskFaceRecord& f : library.faceRecordsCache()) {
            if (f.veskID == second.id)
                kept.append(f);
        }
        EXPECT_EQ(kept, found);
        EXPECT_EQ(library.faceDataRevision(), revision + 1);
        EXPECT_EQ(storedFacesOf(second.id), (QSet<QUuid>{found[0].id, found[1].id}));
        EXPECT_TRUE(host.library[1].searchableText.utf8().contains("menu"));
    }
}

} // namespace
} // namespace vesk::test
