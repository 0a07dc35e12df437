#include "store/EditedVersions.h"
#include "store/FaultInjection.h"
#include "store/StoreTestSupport.h"

#include <QDir>
#include <functional>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreVideoMoments : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        store = makeStore();
        clip = writeFile(makeTempDirectory(QStringLiteral("clips")) + QStringLiteral("/Vesk-Moment-1.mov"), "clip bytes");
    }

    VeskItem addVideo(const QString& title, const QString& fileName, std::optional<QUuid> source = std::nullopt)
    {
        VeskItem video = makeItem(title, 100, VeskKind::File,
                                  writeFile(dataDir + QStringLiteral("/Items/") + QUuid::createUuid().toString(QUuid::WithoutBraces)
                                                + QLatin1Char('/') + fileName,
                                            "movie"));
        video.sourceItemID = source;
        EXPECT_TRUE(store->commitNewItem(video));
        return video;
    }

    // Saves the moment of holiday under a fault (making the store again where it must).
    using MomentSave = std::function<Expected<VeskItem, QString>(const VeskItem&)>;

    // A fresh library on a small disk of its own; false (the disk says why) where this process
    // may not mount one.
    bool useSmallDisk()
    {
        store.reset();
        dataDir = makeTempDirectory(QStringLiteral("library"));
        disk = std::make_unique<SmallDisk>(dataDir, "size=8m,nr_inodes=64");
        return disk->active();
    }

    // Saves a moment of a video in a fresh store under the fault: it is not kept, and says reason.
    void expectNotKept(const MomentSave& save, const QString& reason)
    {
        store = makeStore();
        const VeskItem holiday = addVideo(QStringLiteral("Holiday.mov"), QStringLiteral("Holiday.mov"));
        const Expected<VeskItem, QString> saved = save(holiday);
        ASSERT_FALSE(saved.hasValue());
        EXPECT_TRUE(saved.error().endsWith(reason)) << saved.error().toStdString();
        EXPECT_FALSE(store->intakeNotice());
        store.reset();
        disk.reset();
    }

    std::unique_ptr<VeskStore> store;
    QString clip;
    std::unique_ptr<SmallDisk> disk;
};

} // namespace

TEST_F(StoreVideoMoments, AMomentIsKeptBesideItsSourceNamedAfterItsTime)
{
    const VeskItem holiday = addVideo(QStringLiteral("Holiday.mov"), QStringLiteral("Holiday.mov"));
    const Expected<VeskItem, QString> moment = store->saveVideoMoment(clip, holiday, 65.9);
    ASSERT_TRUE(moment.hasValue());
    EXPECT_EQ(moment->title, QStringLiteral("Holiday \u2014 Moment at 1:05"));
    EXPECT_EQ(moment->sourceItemID, holiday.id);
    EXPECT_EQ(moment->kind, VeskKind::File);
    const QString name = QFileInfo(*moment->filePath).fileName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("Holiday-moment-1-05-"))) << name.toStdString();
    EXPECT_TRUE(name.endsWith(QStringLiteral(".mov")));
    EXPECT_EQ(QFileInfo(*moment->filePath).dir().dirName(), moment->id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_TRUE(QFile::exists(clip)); // copied, never moved: the caller removes its clip
    EXPECT_TRUE(moment->searchableText.toString().contains(QStringLiteral("timestamp 1:05")));
    EXPECT_EQ(store->selectedID(), moment->id);
    ASSERT_TRUE(store->intakeNotice().has_value());
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Video moment saved"));
    EXPECT_EQ(store->intakeNotice()->kind, VeskIntakeNoticeKind::Version);
    EXPECT_EQ(storedItems().size(), 2);

    // A moment of a moment names the first source; its file takes the moment's own name.
    const Expected<VeskItem, QString> second = store->saveVideoMoment(clip, *moment, 3723);
    ASSERT_TRUE(second.hasValue());
    EXPECT_EQ(second->sourceItemID, holiday.id);
    EXPECT_EQ(second->title, QStringLiteral("Holiday \u2014 Moment at 1:02:03"));
}

TEST_F(StoreVideoMoments, MachineMadeTitlesOtherFilesAndFailedCopies)
{
    const VeskItem recording = addVideo(QStringLiteral("Video-2024-05-01-120000-ABCDEF12"), QStringLiteral("clip.MP4"));
    const Expected<VeskItem, QString> moment = store->saveVideoMoment(clip, recording, -4);
    ASSERT_TRUE(moment.hasValue());
    EXPECT_EQ(moment->title, QStringLiteral("Video Moment \u2014 0:00"));

    VeskItem pdf = makeItem(QStringLiteral("Paper"), 10, VeskKind::File, dataDir + QStringLiteral("/Items/P/paper.pdf"));
    EXPECT_FALSE(store->saveVideoMoment(clip, pdf, 5).hasValue());
    VeskItem noFile = makeItem(QStringLiteral("Note"), 10);
    EXPECT_FALSE(store->saveVideoMoment(clip, noFile, 5).hasValue());

    // A clip that cannot be copied leaves no folder behind and says so in the log.
    const qsizetype before = store->items().size();
    const QStringList foldersBefore = QDir(dataDir + QStringLiteral("/Items")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_FALSE(store->saveVideoMoment(QStringLiteral("/nonexistent/clip.mov"), recording, 5).hasValue());
    EXPECT_EQ(store->items().size(), before);
    EXPECT_EQ(QDir(dataDir + QStringLiteral("/Items")).entryList(QDir::Dirs | QDir::NoDotAndDotDot), foldersBefore);
    EXPECT_EQ(countLines(QStringLiteral("Vesk derived-video save error: ")), 1);
}

TEST_F(StoreVideoMoments, AMomentWhoseRowIsNotWrittenIsNeverAnnouncedAsSaved)
{
    const VeskItem holiday = addVideo(QStringLiteral("Holiday.mov"), QStringLiteral("Holiday.mov"));
    failItemSaves(*store, true);
    EXPECT_FALSE(store->saveVideoMoment(clip, holiday, 12).hasValue());
    EXPECT_FALSE(store->intakeNotice().has_value());
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not saved"));
    // The store keeps trying to write the row, so the clip it names stays, whole, in its folder.
    ASSERT_EQ(store->unsavedItemIDs().size(), 1);
    const QUuid pending = *store->unsavedItemIDs().begin();
    const VeskItem kept = store->items().at(store->indexOfItem(pending));
    ASSERT_TRUE(kept.filePath);
    QFile copy(*kept.filePath);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("clip bytes"));
}

// A moment the library did not keep says why, in the words the pane puts after "Could not save
// moment: ".
TEST_F(StoreVideoMoments, AMomentNotKeptSaysWhy)
{
    const struct {
        const char* name;
        MomentSave save;
        QString reason;
    } cases[] = {
        {"a library opened on a full disk",
         [this](const VeskItem& holiday) {
             store.reset();
             {
                 FileSizeLimit full(1);
                 store = makeStore();
             }
             return store->saveVideoMoment(clip, holiday, 12);
         },
         QStringLiteral("the disk is full")},
        {"a disk that filled under the clip's copy",
         [this](const VeskItem& holiday) {
             FileSizeLimit full(4);
             return store->saveVideoMoment(clip, holiday, 12);
         },
         QStringLiteral("the disk is full")},
        {"a row the library file refused",
         [this](const VeskItem& holiday) {
             failItemSaves(*store, true);
             return store->saveVideoMoment(clip, holiday, 12);
         },
         QStringLiteral(". Vesk keeps it on screen and tries again")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.reset();
        dataDir = makeTempDirectory(QStringLiteral("library"));
        expectNotKept(c.save, c.reason);
    }
}

TEST_F(StoreVideoMoments, AMomentNotKeptOnADiskOutOfInodesSaysTheDiskIsFull)
{
    if (!useSmallDisk())
        GTEST_SKIP() << disk->whyNotActive();
    expectNotKept(
        [this](const VeskItem& holiday) -> Expected<VeskItem, QString> {
            if (!disk->useUpInodes())
                return unexpected(QStringLiteral("the disk could not be filled"));
            return store->saveVideoMoment(clip, holiday, 12);
        },
        QStringLiteral("the disk is full"));
}

TEST_F(StoreVideoMoments, AMomentNotKeptOnADiskMadeReadOnlySaysSo)
{
    if (!useSmallDisk())
        GTEST_SKIP() << disk->whyNotActive();
    expectNotKept(
        [this](const VeskItem& holiday) -> Expected<VeskItem, QString> {
            store.reset();
            if (!disk->setReadOnly(true))
                return unexpected(QStringLiteral("the disk could not be made read-only"));
            store = makeStore();
            return store->saveVideoMoment(clip, holiday, 12);
        },
        QStringLiteral("the disk is read-only"));
}

TEST(VideoMomentTimeText, MinutesBelowAnHourAndHoursFromThen)
{
    EXPECT_EQ(EditedVersions::videoMomentTimeText(65.9), QStringLiteral("1:05"));
    EXPECT_EQ(EditedVersions::videoMomentTimeText(3723), QStringLiteral("1:02:03"));
    EXPECT_EQ(EditedVersions::videoMomentTimeText(-2), QStringLiteral("0:00"));
    EXPECT_EQ(EditedVersions::videoMomentTimeText(std::nan("")), QStringLiteral("0:00"));
}
