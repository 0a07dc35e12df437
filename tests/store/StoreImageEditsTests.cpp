#include "common/StoreFixture.h"

#include "platform/Uuid.h"
#include "store/FaultInjection.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <functional>
#include <unistd.h>

namespace vesk::test {
namespace {

class ImageEditsTest : public StoreFixture {
protected:
    // An image item whose file lies outside the library, as the store would hold it.
    VeskItem pictureItem(const QString& fileName, qint64 secs = 100)
    {
        const QString path = writeFile(makeTempDirectory(QStringLiteral("pictures")) + "/" + fileName, "source bytes");
        return makeItem(fileName, secs, VeskKind::Image, path);
    }

    QStringList itemFolders() const
    {
        return QDir(dataDir + "/Items").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }

    // Saves an edit of a picture under a fault, making the store where the fault needs it.
    using EditSave = std::function<std::optional<VeskItem>(std::unique_ptr<VeskStore>&)>;

    // The edit of source that save makes is not kept: the failure notice names the picture and
    // gives reason, and no file is left behind.
    void expectEditRefused(const VeskItem& source, const EditSave& save, const QString& reason)
    {
        seed({source});
        std::unique_ptr<VeskStore> store;
        EXPECT_FALSE(save(store));
        ASSERT_TRUE(store);
        ASSERT_TRUE(store->failureNotice()) << logLines.join('\n').toStdString();
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not kept"));
        EXPECT_EQ(store->failureNotice()->detail, QStringLiteral("The edited version of \u201C") + source.title
                                                      + QStringLiteral("\u201D was not kept: ") + reason + QLatin1Char('.'));
        EXPECT_FALSE(store->intakeNotice());
        EXPECT_EQ(store->items().size(), 1);
        EXPECT_TRUE(itemFolders().isEmpty());
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(ImageEditsTest, SavingTwiceMakesTwoVersionsOfTheSameRoot)
{
    VeskItem source = pictureItem(QStringLiteral("Harbour.png"));
    source.groupID = QUuid::createUuid();
    seed({source});
    auto store = makeStore();
    clock->set(QDateTime::fromSecsSinceEpoch(5000, Qt::UTC));

    const std::optional<VeskItem> first = store->saveEditedImage("first png", source, QStringLiteral("png"));
    const std::optional<VeskItem> second = store->saveEditedImage("second png", source, QStringLiteral("png"));
    ASSERT_TRUE(first && second);

    const QRegularExpression name(QStringLiteral("^Harbour-edited-[0-9A-F]{8}\\.png$"));
    for (const VeskItem& version : {*first, *second}) {
        EXPECT_TRUE(name.match(version.title).hasMatch()) << version.title.toStdString();
        EXPECT_EQ(version.title.mid(15, 8), uuidString(version.id).left(8));
        EXPECT_EQ(version.kind, VeskKind::Image);
        EXPECT_EQ(version.filePath, dataDir + "/Items/" + uuidString(version.id) + "/" + version.title);
        EXPECT_EQ(version.sourceItemID, source.id);
        EXPECT_EQ(version.groupID, source.groupID);
        EXPECT_EQ(version.searchableText, QStringLiteral("Harbour edited derived image Harbour.png"));
        EXPECT_EQ(version.createdAt, QDateTime::fromSecsSinceEpoch(5000, Qt::UTC));
        EXPECT_TRUE(version.note.isEmpty());
        EXPECT_FALSE(version.text || version.urlString);
    }
    EXPECT_NE(first->title, second->title);
    EXPECT_EQ(contents(*first->filePath), QByteArray("first png"));
    EXPECT_EQ(contents(*second->filePath), QByteArray("second png"));
    EXPECT_EQ(itemFolders().size(), 2);

    EXPECT_EQ(store->items().first().id, second->id);
    EXPECT_EQ(store->selectedID(), second->id);
    EXPECT_EQ(storedItems().size(), 3);
    ASSERT_TRUE(store->intakeNotice());
    EXPECT_EQ(store->intakeNotice()->kind, VeskIntakeNoticeKind::Version);
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Edited version saved"));
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Harbour.png"));
    EXPECT_EQ(store->intakeNotice()->relatedID, second->id);
    EXPECT_EQ(thumbnails->requests.last(), std::make_pair(second->id, 520));
    // The source stays as it was.
    EXPECT_EQ(contents(*source.filePath), QByteArray("source bytes"));
}

TEST_F(ImageEditsTest, AVersionOfAVersionPointsAtTheFirstItemOfItsChain)
{
    VeskItem root = pictureItem(QStringLiteral("Beach.heic"));
    root.groupID = QUuid::createUuid();
    seed({root});
    auto store = makeStore();
    const std::optional<VeskItem> derived = store->saveEditedImage("jpeg", root, QStringLiteral("jpg"));
    ASSERT_TRUE(derived);
    EXPECT_TRUE(derived->title.startsWith(QStringLiteral("Beach-edited-")));
    EXPECT_TRUE(derived->title.endsWith(QStringLiteral(".jpg")));

    // The derived item moved to another group; its version follows it, not the root.
    VeskItem regrouped = *derived;
    regrouped.groupID = QUuid::createUuid();
    ASSERT_TRUE(store->updateItem(regrouped));
    const std::optional<VeskItem> again = store->saveEditedImage("again", regrouped, QStringLiteral(".JPG"));
    ASSERT_TRUE(again);
    const QString derivedBase = QFileInfo(*derived->filePath).completeBaseName();
    EXPECT_TRUE(again->title.startsWith(derivedBase + QStringLiteral("-edited-"))) << again->title.toStdString();
    EXPECT_TRUE(again->title.endsWith(QStringLiteral(".jpg")));
    EXPECT_EQ(again->sourceItemID, root.id);
    EXPECT_EQ(again->groupID, regrouped.groupID);
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Beach.heic"));
}

TEST_F(ImageEditsTest, AVersionWhoseRootIsGoneBecomesTheRoot)
{
    VeskItem orphan = pictureItem(QStringLiteral("Orphan-edited-0A1B2C3D.png"));
    orphan.sourceItemID = QUuid::createUuid();
    seed({orphan});
    auto store = makeStore();
    const std::optional<VeskItem> version = store->saveEditedImage("png", orphan, QStringLiteral("png"));
    ASSERT_TRUE(version);
    EXPECT_EQ(version->sourceItemID, orphan.id);
    EXPECT_EQ(store->intakeNotice()->detail, orphan.title);
}

TEST_F(ImageEditsTest, OnlyPicturesPassAndNamesAreMadeSafe)
{
    auto store = makeStore();
    const VeskItem webp = makeItem(QStringLiteral("Sticker"), 1, VeskKind::File,
                                   writeFile(makeTempDirectory() + "/Sticker.webp", "webp"));
    EXPECT_TRUE(store->saveEditedImage("png", webp, QStringLiteral("png")));

    const VeskItem pdf = makeItem(QStringLiteral("Scan"), 1, VeskKind::File,
                                  writeFile(makeTempDirectory() + "/Scan.pdf", "%PDF"));
    const qsizetype logged = logLines.size();
    EXPECT_FALSE(store->saveEditedImage("png", pdf, QStringLiteral("png")));
    EXPECT_EQ(logLines.size(), logged);
    EXPECT_EQ(itemFolders().size(), 1);

    // No file and no title: a fallback name; odd extensions are tidied.
    const VeskItem untitled = makeItem(QString(), 1, VeskKind::Image);
    const std::optional<VeskItem> fallback = store->saveEditedImage("x", untitled, QStringLiteral("..."));
    ASSERT_TRUE(fallback);
    EXPECT_TRUE(fallback->title.startsWith(QStringLiteral("Vesk-Image-edited-")));
    EXPECT_TRUE(fallback->title.endsWith(QStringLiteral(".png")));

    // A title used as a file name stays one file inside the item's own folder.
    const VeskItem sneaky = makeItem(QStringLiteral("../../Trip/.hidden\u0000name"), 1, VeskKind::Image);
    const std::optional<VeskItem> safe = store->saveEditedImage("x", sneaky, QStringLiteral("png"));
    ASSERT_TRUE(safe);
    EXPECT_TRUE(safe->title.startsWith(QStringLiteral("-..-Trip-.hiddenname-edited-"))) << safe->title.toStdString();
    EXPECT_EQ(QFileInfo(*safe->filePath).path(), dataDir + "/Items/" + uuidString(safe->id));
    EXPECT_TRUE(QFileInfo::exists(*safe->filePath));
}

// Each version of a version adds a suffix to its name; a long chain still saves, its name cut
// at a whole character so that it fits what a file system takes in one name.
TEST_F(ImageEditsTest, ALongChainOfVersionsStaysSavable)
{
    const struct {
        const char* name;
        QString fileName;
    } cases[] = {
        {"plain letters", QStringLiteral("Harbour at dawn.png")},
        {"two-byte letters", QString(120, QChar(0x00E9)) + QStringLiteral(".png")},
        {"three-byte letters", QString(80, QChar(0x6E2F)) + QStringLiteral(".png")},
        {"flags of eight bytes", QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7").repeated(31)
                                     + QStringLiteral(".png")},
        {"letters with a combining accent", QStringLiteral("e\u0301").repeated(80) + QStringLiteral(".jpg")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const VeskItem source = pictureItem(c.fileName);
        seed({source});
        auto store = makeStore();
        VeskItem edited = source;
        for (int version = 1; version <= 20; ++version) {
            SCOPED_TRACE(version);
            const QString previousBase = QFileInfo(*edited.filePath).completeBaseName();
            const std::optional<VeskItem> saved = store->saveEditedImage("png", edited, QStringLiteral("png"));
            ASSERT_TRUE(saved) << logLines.join('\n').toStdString();
            EXPECT_LE(saved->title.toUtf8().size(), 255);
            EXPECT_EQ(QFileInfo(*saved->filePath).fileName(), saved->title);
            EXPECT_EQ(saved->sourceItemID, source.id);
            static const QRegularExpression suffix(QStringLiteral("-edited-[0-9A-F]{8}\\.png$"));
            const QRegularExpressionMatch match = suffix.match(saved->title);
            ASSERT_TRUE(match.hasMatch()) << saved->title.toStdString();
            // What stands before the suffix is the edited item's own name, whole or cut at a
            // character's end.
            const QString base = saved->title.left(match.capturedStart());
            const QString expectedStart = previousBase.left(base.size());
            EXPECT_EQ(base, expectedStart);
            QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, previousBase);
            graphemes.setPosition(base.size());
            EXPECT_TRUE(graphemes.isAtBoundary()) << saved->title.toStdString();
            EXPECT_FALSE(base.isEmpty());
            edited = *saved;
        }
    }
}

TEST_F(ImageEditsTest, AFailedWriteLeavesNoItemNoNoticeAndNoFolder)
{
    const VeskItem source = pictureItem(QStringLiteral("Lake.png"));
    seed({source});
    auto store = makeStore();

    // A name longer than the file system takes: the folder is made, the write fails.
    EXPECT_FALSE(store->saveEditedImage("png", source, QString(300, QLatin1Char('n'))));
    EXPECT_EQ(countLines(QStringLiteral("Vesk derived-image save error: ")), 1);
    EXPECT_TRUE(itemFolders().isEmpty());

    // "Items" cannot hold folders: a file stands in its place, or it is read-only.
    ASSERT_TRUE(QDir(dataDir + "/Items").removeRecursively());
    writeFile(dataDir + "/Items", "not a folder");
    EXPECT_FALSE(store->saveEditedImage("png", source, QStringLiteral("png")));
    QFile::remove(dataDir + "/Items");
    QDir().mkpath(dataDir + "/Items");
    {
        UnwritableGuard locked(dataDir + "/Items");
        ASSERT_TRUE(locked.active()) << "this file system cannot make a folder unwritable";
        EXPECT_FALSE(store->saveEditedImage("png", source, QStringLiteral("png")));
    }
    EXPECT_GE(countLines(QStringLiteral("Vesk derived-image save error: ")), 2);
    EXPECT_EQ(store->items().size(), 1);
    EXPECT_FALSE(store->intakeNotice());
    EXPECT_TRUE(thumbnails->requests.isEmpty());
}

TEST_F(ImageEditsTest, ADiskThatFillsUnderTheWriteKeepsNoPartOfAVersion)
{
    const VeskItem source = pictureItem(QStringLiteral("Dunes.png"));
    seed({source});
    auto store = makeStore();
    const QByteArray picture(6656, 'p');  // larger than the room left, smaller than a write buffer
    {
        FileSizeLimit full(4096);
        EXPECT_FALSE(store->saveEditedImage(picture, source, QStringLiteral("png")));
    }
    EXPECT_EQ(store->items().size(), 1);
    EXPECT_TRUE(itemFolders().isEmpty());
    EXPECT_FALSE(store->intakeNotice());

    // Room again: the next save keeps every byte.
    const std::optional<VeskItem> kept = store->saveEditedImage(picture, source, QStringLiteral("png"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(contents(*kept->filePath), picture);
    EXPECT_EQ(QDir(QFileInfo(*kept->filePath).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file is left beside the version";
}

// An edit that the disk or the library refused is said in the failure notice with its reason,
// naming the picture the user edited, and leaves no file behind.
TEST_F(ImageEditsTest, AnEditTheDiskOrTheLibraryRefusedSaysWhy)
{
    const VeskItem source = pictureItem(QStringLiteral("Lake.png"));
    const struct {
        const char* name;
        EditSave save;
        QString reason;
    } cases[] = {
        {"a disk that filled under the write",
         [&](std::unique_ptr<VeskStore>& store) {
             store = makeStore();
             FileSizeLimit full(4096);
             return store->saveEditedImage(QByteArray(6656, 'p'), source, QStringLiteral("png"));
         },
         QStringLiteral("the disk is full")},
        {"a library opened on a full disk",
         [&](std::unique_ptr<VeskStore>& store) {
             {
                 FileSizeLimit full(1);
                 store = makeStore();
             }
             return store->saveEditedImage("png", source, QStringLiteral("png"));
         },
         QStringLiteral("the disk is full")},
        {"an Items folder that takes no writes",
         [&](std::unique_ptr<VeskStore>& store) -> std::optional<VeskItem> {
             store = makeStore();
             QDir().mkpath(dataDir + "/Items");
             UnwritableGuard locked(dataDir + "/Items");
             if (!locked.active())
                 return std::nullopt;
             return store->saveEditedImage("png", source, QStringLiteral("png"));
         },
         QStringLiteral("the library folder is read-only")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dataDir = makeTempDirectory(QStringLiteral("library"));
        QDir().mkpath(dataDir);
        expectEditRefused(source, c.save, c.reason);
    }
}

TEST_F(ImageEditsTest, AnEditRefusedOnADiskOutOfInodesSaysTheDiskIsFull)
{
    const VeskItem source = pictureItem(QStringLiteral("Lake.png"));
    dataDir = makeTempDirectory(QStringLiteral("library"));
    SmallDisk disk(dataDir, "size=8m,nr_inodes=64");
    if (!disk.active())
        GTEST_SKIP() << disk.whyNotActive();
    expectEditRefused(
        source,
        [&](std::unique_ptr<VeskStore>& store) -> std::optional<VeskItem> {
            store = makeStore();
            QDir().mkpath(dataDir + "/Items");
            if (!disk.useUpInodes())
                return std::nullopt;
            return store->saveEditedImage("png", source, QStringLiteral("png"));
        },
        QStringLiteral("the disk is full"));
}

// With room for the picture but none for its row, the edit is kept on screen with its file and
// the save counts (the editor closes: no second version from Save again); "Not saved … tries
// again" is its one story until a retry writes the row, and only then is it announced, once.
TEST_F(ImageEditsTest, AnEditWhoseRowWasRefusedIsSavedOnceWhenARetryWritesIt)
{
    const VeskItem source = pictureItem(QStringLiteral("Meadow.png"));
    seed({source});
    auto store = makeStore();
    QStringList announced;
    QObject::connect(store.get(), &VeskStore::intakeNoticeChanged, [&] {
        if (store->intakeNotice())
            announced.append(store->intakeNotice()->title);
    });
    const QByteArray picture(6656, 'p');
    failItemSaves(*store, true);
    const std::optional<VeskItem> saved = store->saveEditedImage(picture, source, QStringLiteral("png"));
    ASSERT_TRUE(saved) << "the save counts, so the editor closes";
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not saved"));
    EXPECT_TRUE(store->failureNotice()->detail.endsWith(QStringLiteral("Vesk keeps it on screen and tries again.")));
    EXPECT_EQ(store->unsavedItemIDs(), QSet<QUuid>{saved->id});
    EXPECT_EQ(contents(*saved->filePath), picture);
    EXPECT_TRUE(announced.isEmpty()) << "not in the library file yet";

    const int interval = services().unsavedRetryIntervalMs;
    timers->advance(interval);
    EXPECT_TRUE(announced.isEmpty()) << "still refused at the retry";

    failItemSaves(*store, false);
    timers->advance(interval);
    EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
    EXPECT_EQ(announced, QStringList{QStringLiteral("Edited version saved")});
    EXPECT_EQ(store->intakeNotice()->relatedID, saved->id);
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Meadow.png"));
    EXPECT_FALSE(store->failureNotice()) << "what it spoke of is kept now";

    // Later writes of other things say nothing of it again.
    VeskItem renamed = source;
    renamed.title = QStringLiteral("Meadow in May.png");
    ASSERT_TRUE(store->updateItem(renamed));
    EXPECT_EQ(announced.size(), 1);

    const QList<VeskItem> stored = storedItems();
    ASSERT_EQ(stored.size(), 2) << "one version from one edit";
    const VeskItem version = stored.at(stored.at(0).id == source.id ? 1 : 0);
    EXPECT_EQ(version.id, saved->id);
    EXPECT_EQ(contents(*version.filePath), picture);
    EXPECT_EQ(itemFolders().size(), 1);
}

} // namespace
} // namespace vesk::test
