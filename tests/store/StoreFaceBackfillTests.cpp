// The background face scan at start-up, with a fake analyser.
#include "common/FaceStoreFixture.h"

namespace vesk::test {
namespace {

// How long start-up's reading and indexing may take before a test gives up on the run that
// follows: the waits end as soon as it comes, and a sanitized build on a busy machine is slow.
constexpr int kStartupBoundMs = 60'000;

class FaceBackfill : public FaceStoreTest {
protected:
    // Three pictures, newest first: "new", "middle" and "old"; "middle" is already analysed.
    void seedThreePictures()
    {
        library = {pictureItem(QStringLiteral("new"), 30), pictureItem(QStringLiteral("middle"), 20),
                   pictureItem(QStringLiteral("old"), 10)};
        seed(library);
        auto db = openDatabase();
        ASSERT_TRUE(db->markFaceAnalyzed(library[1].id).hasValue());
        // Their sentence vectors are there, so no embedding job shares indexingCount.
        for (const VeskItem& item : library)
            ASSERT_TRUE(db->updateEmbedding(item.id, embeddings->modelName(), {1.0}).hasValue());
        analyser->answer = [this](const QString&, const QUuid& itemID) {
            return ImageAnalysisResult{QStringLiteral("ignored text"), QStringLiteral("ignored"), {face(itemID, 0)}};
        };
    }

    QList<QUuid> requestedIDs() const
    {
        QList<QUuid> ids;
        for (const auto& request : analyser->requests)
            ids.append(request.itemID);
        return ids;
    }

    QList<VeskItem> library;
};

TEST_F(FaceBackfill, FindsTheFacesOfUnanalysedPicturesOneAtATimeNewestFirst)
{
    seedThreePictures();
    int highest = 0;
    // Not waited for: the run starts once start-up has read the library, never inside the constructor.
    auto store = makeStore(true, false);
    QObject::connect(store.get(), &VeskStore::indexingCountChanged,
                     [&] { highest = std::max(highest, store->indexingCount()); });
    // Nor while start-up still reads and indexes: the analysis would only compete with it.
    qsizetype askedBeforeStartupFinished = -1;
    QObject::connect(store.get(), &VeskStore::startupFinished,
                     [&] { askedBeforeStartupFinished = analyser->requests.size(); });
    EXPECT_TRUE(analyser->requests.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == 1 && store->indexingCount() == 0; }, kStartupBoundMs));
    EXPECT_EQ(askedBeforeStartupFinished, 0);
    timers->advance(store->services().faceBackfillPauseMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == 2 && store->indexingCount() == 0; }, kStartupBoundMs));
    timers->advance(store->services().faceBackfillPauseMs);

    EXPECT_EQ(requestedIDs(), (QList<QUuid>{library[0].id, library[2].id}));
    EXPECT_TRUE(analyser->requests[0].facesOnly && analyser->requests[1].facesOnly);
    EXPECT_EQ(highest, 1);
    EXPECT_EQ(store->faceDataRevision(), 2);
    EXPECT_EQ(analysedIDs(), (QSet<QUuid>{library[0].id, library[1].id, library[2].id}));
    EXPECT_EQ(storedFaces(), store->faceRecordsCache());
    EXPECT_EQ(store->faceRecordsCache().size(), 2);
    // Faces only: the items are neither changed nor saved.
    EXPECT_EQ(store->items(), library);

    // The next start finds nothing left to look at.
    analyser->requests.clear();
    auto again = makeStore();
    QCoreApplication::processEvents();
    EXPECT_TRUE(analyser->requests.isEmpty());
}

TEST_F(FaceBackfill, PausesBetweenItems)
{
    seed({pictureItem(QStringLiteral("a"), 3), pictureItem(QStringLiteral("b"), 2), pictureItem(QStringLiteral("c"), 1)});
    const VeskServices withPause = services();
    VeskStore store(withPause);
    for (int i = 1; i < 3; ++i) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == i && store.indexingCount() == 0; }, kStartupBoundMs));
        timers->advance(withPause.faceBackfillPauseMs - 1);
        QCoreApplication::processEvents();
        EXPECT_EQ(analyser->requests.size(), i);
        timers->advance(1);
        EXPECT_EQ(analyser->requests.size(), i + 1);
    }
}

TEST_F(FaceBackfill, ASecondStartOrAClearedLibraryStopsTheRun)
{
    seedThreePictures();
    analyser->hold = true;
    auto store = makeStore();
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == 1; }, kStartupBoundMs));

    // A new start takes a fresh list; the old run's detection comes back to nothing.
    store->startFaceBackfill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == 2; }, kStartupBoundMs));
    EXPECT_EQ(store->indexingCount(), 2);
    analyser->release(0);
    drainWrites(*store);
    EXPECT_EQ(store->indexingCount(), 1);
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_TRUE(storedFaces().isEmpty());
    timers->advance(store->services().faceBackfillPauseMs);
    EXPECT_EQ(analyser->requests.size(), 2); // the old run asks for nothing more

    analyser->release(1);
    drainWrites(*store);
    EXPECT_EQ(store->faceRecordsCache().size(), 1);
    timers->advance(store->services().faceBackfillPauseMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == 3; }, kStartupBoundMs));

    // Clearing the library stops the new run too.
    store->clearLibrary();
    analyser->release(2);
    drainWrites(*store);
    timers->advance(store->services().faceBackfillPauseMs);
    EXPECT_EQ(analyser->requests.size(), 3);
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_EQ(store->indexingCount(), 0);
    EXPECT_EQ(requestedIDs(), (QList<QUuid>{library[0].id, library[0].id, library[2].id}));
}

TEST_F(FaceBackfill, ARefusedSaveIsLoggedWithTheTitleAndTheRunGoesOn)
{
    seedThreePictures();
    analyser->hold = true;
    auto store = makeStore();
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == 1; }, kStartupBoundMs));
    refuseWrites(*store, {"vesk_face_analysis"});
    analyser->release(0);
    drainWrites(*store);
    refuseWrites(*store, {});
    EXPECT_EQ(countLines(QStringLiteral("Vesk face backfill save error for new: ")), 1)
        << logLines.join('\n').toStdString();
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_EQ(store->faceDataRevision(), 0);
    EXPECT_EQ(store->indexingCount(), 0);
    timers->advance(store->services().faceBackfillPauseMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser->requests.size() == 2; }, kStartupBoundMs));
    analyser->release(1);
    drainWrites(*store);
    EXPECT_EQ(store->faceRecordsCache().size(), 1);
    // The refused item stays a candidate for the next start.
    EXPECT_FALSE(analysedIDs().contains(library[0].id));
}

TEST_F(FaceBackfill, NothingToLookAtOrNothingToLookWithStartsNoRun)
{
    // Every picture analysed.
    const VeskItem photo = pictureItem(QStringLiteral("done"), 1);
    seed({photo, makeItem(QStringLiteral("note"), 2)});
    ASSERT_TRUE(openDatabase()->markFaceAnalyzed(photo.id).hasValue());
    {
        auto store = makeStore();
        QCoreApplication::processEvents();
        EXPECT_TRUE(analyser->requests.isEmpty());
    }
    // A picture to look at, but no analyser: nothing is marked.
    const VeskItem pending = pictureItem(QStringLiteral("pending"), 3);
    seed({pending});
    analyser.reset();
    auto store = makeStore();
    // What start-up still indexes ends on a worker; no picture is marked as looked at meanwhile.
    EXPECT_TRUE(QTest::qWaitFor([&] { return store->indexingCount() == 0; }, kStartupBoundMs));
    EXPECT_FALSE(analysedIDs().contains(pending.id));
}

} // namespace
} // namespace vesk::test
