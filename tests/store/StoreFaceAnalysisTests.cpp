// The analysis of imported pictures, with a fake analyser.
#include "common/FaceStoreFixture.h"

#include "search/LexicalMatch.h"
#include "store/StoreInternals.h"

namespace vesk::test {
namespace {

class FaceAnalysis : public FaceStoreTest {
protected:
    void SetUp() override
    {
        FaceStoreTest::SetUp();
        sourceDir = makeTempDirectory(QStringLiteral("source"));
    }

    // Imports a new picture (its colour made from its name, so that no two are equal) and
    // returns its item.
    VeskItem importPicture(VeskStore& store, const QString& name)
    {
        const QColor colour = QColor::fromRgb(QRgb(qHash(name)) | 0xff000000u);
        const bool kept = importNow(store, writePicture(sourceDir + "/" + name, QSize(64, 48), colour));
        EXPECT_EQ(kept, StoreInternals::database(store) != nullptr);
        return store.items().isEmpty() ? VeskItem{} : store.items().first();
    }

    // The analyser finds this text, these labels and n faces in every picture.
    void analyserFinds(const QString& text, const QString& labels, int faceCount)
    {
        analyser->answer = [=](const QString&, const QUuid& itemID) {
            ImageAnalysisResult result{text, labels, {}};
            for (int i = 0; i < faceCount; ++i)
                result.faces.append(face(itemID, i));
            return result;
        };
    }

    QString sourceDir;
};

TEST_F(FaceAnalysis, APictureKeepsItsFacesAndGainsItsTextAndLabelsOnce)
{
    analyserFinds(QStringLiteral("OPEN 24 HOURS"), QStringLiteral("person car"), 2);
    auto store = makeStore();
    const VeskItem photo = importPicture(*store, QStringLiteral("corner.png"));
    ASSERT_EQ(analyser->requests.size(), 1);
    EXPECT_EQ(analyser->requests[0].path, *photo.filePath); // the managed copy, not the source
    EXPECT_FALSE(analyser->requests[0].facesOnly);
    EXPECT_EQ(store->indexingCount(), 1);
    const int revision = store->faceDataRevision();

    drainWrites(*store);
    EXPECT_EQ(store->indexingCount(), 0);
    EXPECT_EQ(store->faceDataRevision(), revision + 1);
    ASSERT_EQ(store->faceRecordsCache().size(), 2);
    EXPECT_EQ(storedFaces(), store->faceRecordsCache());
    EXPECT_TRUE(analysedIDs().contains(photo.id));
    const VeskItem analysed = store->items().first();
    EXPECT_EQ(analysed.searchableText, photo.searchableText.toString() + " OPEN 24 HOURS person car");
    EXPECT_EQ(storedItems(), QList<VeskItem>{analysed});
    EXPECT_TRUE(store->lexicalMatch(QStringLiteral("hours")).scores.contains(photo.id));

    // Analysed again, the same words are already there: nothing is appended, but the item is
    // saved again.
    const int changes = snapshots->changes;
    store->setIndexingCount(1);
    store->analyzeItem(*photo.filePath, photo.id);
    drainWrites(*store);
    EXPECT_EQ(store->items().first().searchableText, analysed.searchableText);
    EXPECT_EQ(snapshots->changes, changes + 1);
    EXPECT_EQ(store->faceRecordsCache().size(), 2); // replaced, not added
    EXPECT_EQ(store->indexingCount(), 0);
}

TEST_F(FaceAnalysis, LabelsAreTestedAgainstTheTextAlreadyAppended)
{
    // The labels occur inside the recognised text, so only the text is appended.
    analyserFinds(QStringLiteral("a dog and a cat"), QStringLiteral("dog"), 0);
    auto store = makeStore();
    const VeskItem photo = importPicture(*store, QStringLiteral("pets.png"));
    drainWrites(*store);
    EXPECT_EQ(store->items().first().searchableText, photo.searchableText.toString() + " a dog and a cat");
}

TEST_F(FaceAnalysis, NothingFoundMarksThePictureAnalysedWithoutSavingItAgain)
{
    auto store = makeStore();
    const VeskItem photo = importPicture(*store, QStringLiteral("wall.png"));
    const int revision = store->faceDataRevision();
    const int changes = snapshots->changes;
    drainWrites(*store);
    EXPECT_TRUE(analysedIDs().contains(photo.id));
    EXPECT_EQ(store->faceDataRevision(), revision + 1);
    EXPECT_EQ(store->items().first(), photo);
    EXPECT_EQ(snapshots->changes, changes);
    EXPECT_EQ(store->indexingCount(), 0);
}

TEST_F(FaceAnalysis, APictureRemovedDuringItsAnalysisKeepsNothing)
{
    analyserFinds(QStringLiteral("text"), QString(), 1);
    analyser->hold = true;
    auto store = makeStore();
    const VeskItem photo = importPicture(*store, QStringLiteral("gone.png"));
    const int revision = store->faceDataRevision();
    StoreInternals::setItems(*store, {});
    analyser->release(0);
    drainWrites(*store);
    EXPECT_TRUE(storedFaces().isEmpty());
    EXPECT_FALSE(analysedIDs().contains(photo.id));
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_EQ(store->faceDataRevision(), revision);
    EXPECT_EQ(store->indexingCount(), 0);
}

// The faces' rows are written by the background connection: a picture deleted around that write
// leaves neither rows nor cached faces, whichever came first.
TEST_F(FaceAnalysis, APictureDeletedWhileItsFacesAreWrittenLeavesTheCachesAsTheFile)
{
    analyserFinds(QString(), QString(), 2);
    analyser->hold = true;
    auto store = makeStore();
    const VeskItem photo = importPicture(*store, QStringLiteral("leaving.png"));
    analyser->release(0);
    drainEvents();
    store->setSelectedIDs({photo.id});
    store->deleteItems();
    drainWrites(*store);
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_TRUE(storedFaces().isEmpty());
    EXPECT_EQ(store->indexingCount(), 0);
}

TEST_F(FaceAnalysis, RefusedFaceRowsLeaveTheCachesButTheTextIsStillApplied)
{
    analyserFinds(QStringLiteral("EXIT"), QString(), 1);
    auto store = makeStore();
    const VeskItem photo = importPicture(*store, QStringLiteral("door.png"));
    refuseWrites(*store, {"vesk_faces"});
    const int revision = store->faceDataRevision();
    drainWrites(*store);
    refuseWrites(*store, {});
    EXPECT_EQ(countLines(QStringLiteral("Vesk face record save error: ")), 1);
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_EQ(store->faceDataRevision(), revision);
    EXPECT_FALSE(analysedIDs().contains(photo.id)); // the backfill tries it again next time
    EXPECT_EQ(storedItems().first().searchableText, photo.searchableText.toString() + " EXIT");
    EXPECT_EQ(store->indexingCount(), 0);
}

// A library that could not be opened takes no new pictures, so nothing is analysed either.
TEST_F(FaceAnalysis, WithoutADatabaseNothingIsImportedOrAnalysed)
{
    analyserFinds(QString(), QString(), 3);
    auto store = makeStore(false);
    importPicture(*store, QStringLiteral("memory.png"));
    drainWrites(*store);
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(store->faceRecordsCache().isEmpty());
    EXPECT_EQ(store->indexingCount(), 0);
}

TEST_F(FaceAnalysis, PicturesAnalysedSideBySideEachLowerTheCountOnce)
{
    analyser->hold = true;
    auto store = makeStore();
    const VeskItem first = importPicture(*store, QStringLiteral("one.png"));
    const VeskItem second = importPicture(*store, QStringLiteral("two.png"));
    EXPECT_EQ(store->indexingCount(), 2);
    analyser->release(1);
    drainWrites(*store);
    EXPECT_EQ(store->indexingCount(), 1);
    EXPECT_EQ(analysedIDs(), QSet<QUuid>{second.id});
    analyser->release(0);
    drainWrites(*store);
    EXPECT_EQ(store->indexingCount(), 0);
    EXPECT_EQ(analysedIDs(), (QSet<QUuid>{first.id, second.id}));
}

TEST_F(FaceAnalysis, OnlyImportedPicturesAreAnalysed)
{
    auto store = makeStore();
    ASSERT_TRUE(importNow(*store, writeFile(sourceDir + "/notes.pdf", "%PDF-1.4")));
    store->addText(QStringLiteral("a note"));
    drainWrites(*store);
    EXPECT_TRUE(analyser->requests.isEmpty());
    EXPECT_EQ(store->indexingCount(), 0);

    // A store without an analyser still warms the thumbnail but marks nothing analysed.
    analyser.reset();
    auto bare = makeStore();
    const VeskItem photo = importPicture(*bare, QStringLiteral("plain.png"));
    drainWrites(*bare);
    EXPECT_EQ(thumbnails->askedIDs().last(), photo.id);
    EXPECT_EQ(bare->indexingCount(), 0);
    EXPECT_FALSE(analysedIDs().contains(photo.id));
}

} // namespace
} // namespace vesk::test
