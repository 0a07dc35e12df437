// Imported photographs analysed by the real vision engines (models from install-models.sh, photos
// from install-deps.sh).
#include "common/FaceStoreFixture.h"

#include "faces/VisionImageAnalyser.h"
#include "faces/VisionModels.h"
#include "search/LexicalMatch.h"

namespace vesk::test {
namespace {

const QString kPortrait = QStringLiteral("/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg");
const QString kSign = QStringLiteral("/usr/share/doc/opencv-doc/examples/text/scenetext05.jpg");

class StoreVision : public FaceStoreTest {
protected:
    void SetUp() override
    {
        FaceStoreTest::SetUp();
        if (!QFileInfo::exists(VisionModels::modelsDirectory() + QStringLiteral("/faceres.json")))
            GTEST_SKIP() << "the vision models are not installed (scripts/install-models.sh)";
        analyser.reset();
        real = std::make_shared<VisionImageAnalyser>();
    }

    std::unique_ptr<VeskStore> makeRealStore()
    {
        VeskServices s = services();
        s.imageAnalyser = real;
        return std::make_unique<VeskStore>(s);
    }

    // Imports the picture and waits until its analysis is applied (the indexing count falls only
    // after its faces are cached). The engines run on background-priority workers, which a
    // machine busy with the whole suite in parallel slows to tens of seconds for this one photo:
    // the wait allows for that, within the suite's two minutes per test. A stop here says which
    // step did not finish, with the store's log, rather than leaving the checks below to guess.
    void importAndWait(VeskStore& store, const QString& path, VeskItem* imported)
    {
        ASSERT_TRUE(importNow(store, path)) << "import refused\n" << logLines.join(QLatin1Char('\n')).toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return store.indexingCount() == 0; }, std::min(realWaitMs(90'000), 600'000)))
            << "analysis unfinished, indexing count " << store.indexingCount() << "\n"
            << logLines.join(QLatin1Char('\n')).toStdString();
        ASSERT_FALSE(store.items().isEmpty());
        *imported = store.items().first();
    }

    std::shared_ptr<VisionImageAnalyser> real;
};

TEST_F(StoreVision, APortraitsFaceIsKeptAndFoundByTheNameGivenLater)
{
    if (!QFileInfo::exists(kPortrait))
        GTEST_SKIP() << "the portrait is missing";
    auto store = makeRealStore();
    VeskItem photo;
    ASSERT_NO_FATAL_FAILURE(importAndWait(*store, kPortrait, &photo));
    // A face row the library file refused leaves the cache without it, and the reason in the log.
    ASSERT_EQ(store->faceRecordsCache().size(), 1) << logLines.join(QLatin1Char('\n')).toStdString();
    const VeskFaceRecord found = store->faceRecordsCache().first();
    EXPECT_EQ(found.veskID, photo.id);
    EXPECT_EQ(found.featureVector.size(), 1024);
    ASSERT_EQ(storedFaces().size(), 1);
    EXPECT_EQ(storedFaces().first().id, found.id); // its print stored as 32-bit floats
    EXPECT_FALSE(store->lexicalMatch(QStringLiteral("admiral")).scores.contains(photo.id));

    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Admiral"), found.id))
        << logLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(store->lexicalMatch(QStringLiteral("admiral")).scores.contains(photo.id));

    // Its preview is cut from the photo.
    QSignalSpy ready(store.get(), &VeskStore::facePreviewsChanged);
    EXPECT_TRUE(store->facePreviewImage(found.id).isNull());
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_FALSE(store->facePreviewImage(found.id).isNull());
}

TEST_F(StoreVision, ThePhotographOfASignIsFoundByItsText)
{
    if (!QFileInfo::exists(kSign))
        GTEST_SKIP() << "the sign photograph is missing";
    auto store = makeRealStore();
    VeskItem photo;
    ASSERT_NO_FATAL_FAILURE(importAndWait(*store, kSign, &photo));
    EXPECT_TRUE(store->items().first().searchableText.toString().contains(QStringLiteral("PARKING")));
    EXPECT_TRUE(store->lexicalMatch(QStringLiteral("parking")).scores.contains(photo.id));
    EXPECT_TRUE(analysedIDs().contains(photo.id));
}

} // namespace
} // namespace vesk::test
