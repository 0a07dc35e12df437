#include "common/HeicFile.h"
#include "store/FaultInjection.h"
#include "store/IntakeStoreFixture.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

namespace vesk::test {
namespace {

const QString kNoteID = QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301");

class StorePackageTest : public IntakeStoreTest {
protected:
    static QByteArray png()
    {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

    QString notePackage(const QString& name, const QString& text, const QStringList& attachments,
                        const QString& noteID = kNoteID) const
    {
        const QString package = sourceDir + "/" + name;
        QJsonObject manifest{{"schemaVersion", 1}, {"kind", "note"}, {"noteID", noteID},
                             {"createdAt", "2026-01-01T10:00:00Z"}, {"text", text},
                             {"attachments", QJsonArray::fromStringList(attachments)}};
        writeFile(package + "/note.json", QJsonDocument(manifest).toJson());
        writeFile(package + "/note.txt", "");
        return package;
    }

    QString activityPackage(const QString& name, const std::optional<QByteArray>& manifest) const
    {
        const QString package = sourceDir + "/" + name;
        QDir().mkpath(package + "/media");
        writeFile(package + "/media/p.png", png());
        if (manifest)
            writeFile(package + "/activity.json", *manifest);
        return package;
    }
};

TEST_F(StorePackageTest, ANotePackageBecomesOneTextItemAndIsRecognisedWhenItComesAgain)
{
    const auto store = makeStore();
    const QString package = notePackage("Trip.vesknote", "  Beach day\nsecond line ", {"media/a.png", "media/b.png"});
    writeFile(package + "/media/a.png", png());
    writeFile(package + "/media/b.png", png());
    ASSERT_TRUE(importNow(*store, package));
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem item = store->items().first();
    EXPECT_EQ(item.kind, VeskKind::Text);
    EXPECT_EQ(item.title, "Beach day");
    EXPECT_EQ(item.text, "Beach day\nsecond line");
    EXPECT_EQ(item.searchableText, "Beach day\nsecond line mobile-note-id:" + kNoteID.toLower()
                                       + " attached photos Vesk Mobile");
    EXPECT_TRUE(QFileInfo(*item.filePath + "/media/b.png").isFile());
    EXPECT_EQ(store->intakeNotice()->title, "Note with photos received");
    EXPECT_EQ(storedItems().size(), 1);

    // The same note again, its identity in lower case: nothing new, the held item selected.
    const QString again = notePackage("Again.vesknote", "", {"media/a.png"}, kNoteID.toLower());
    writeFile(again + "/media/a.png", png());
    EXPECT_TRUE(importNow(*store, again));
    EXPECT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->selectedID(), item.id);
}

TEST_F(StorePackageTest, NotePackagesWithHeicPhotosOrOnlyPhotosAreTaken)
{
    const auto store = makeStore();
    const QString package = notePackage("Heic.vesknote", "   ", {"media/a.heic"});
    QImage picture(128, 64, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QDir().mkpath(package + "/media");
    if (!writeHeic(package + "/media/a.heic", picture))
        GTEST_SKIP() << "no HEVC encoder";
    ASSERT_TRUE(importNow(*store, package));
    EXPECT_EQ(store->items().first().title, "Photo Note");
    EXPECT_EQ(store->items().first().text, "");
    EXPECT_TRUE(store->items().first().searchableText.toString().startsWith(" mobile-note-id:"));
}

TEST_F(StorePackageTest, NotePackagesNamingMissingUnsafeOrBrokenMediaAreRefusedUntouched)
{
    const auto store = makeStore();
    const QString outside = writeFile(makeTempDirectory("outside") + "/x.png", png());
    // Each is said, by its name and why, and left as it was.
    struct Case {
        QString name;
        QStringList attachments;
        QString why;
    };
    const QList<Case> cases{
        {"Missing.vesknote", {"media/a.png", "media/none.png"}, "the photo \u201Cmedia/none.png\u201D is missing"},
        {"Traversal.vesknote", {"media/../note.json"}, "the photo \u201Cmedia/../note.json\u201D lies outside its media folder"},
        {"Prefix.vesknote", {"photos/a.png"}, "the photo \u201Cphotos/a.png\u201D lies outside its media folder"},
        {"Link.vesknote", {"media/link.png"}, "the photo \u201Cmedia/link.png\u201D leads outside the package"},
        {"Empty.vesknote", {"media/a.png", "media/empty.png"}, "the photo \u201Cmedia/empty.png\u201D is empty"},
        {"Text.vesknote", {"media/a.png", "media/words.png"}, "the photo \u201Cmedia/words.png\u201D is not a picture"},
    };
    for (const Case& c : cases) {
        const QString package = notePackage(c.name, "text", c.attachments);
        writeFile(package + "/media/a.png", png());
        writeFile(package + "/media/empty.png", "");
        writeFile(package + "/media/words.png", "not a picture");
        QFile::link(outside, package + "/media/link.png");
        EXPECT_FALSE(importNow(*store, package)) << c.name.toStdString();
        EXPECT_TRUE(QFileInfo(package).isDir());
        ASSERT_TRUE(store->failureNotice()) << c.name.toStdString();
        EXPECT_EQ(store->failureNotice()->title, "Not imported");
        EXPECT_EQ(store->failureNotice()->detail, c.name + " cannot be imported: " + c.why + ".");
        store->dismissFailureNotice();
    }
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(QDir(dataDir + "/Items").isEmpty());
    EXPECT_EQ(countLines("Vesk note package manifest invalid: "), 0);

    const QString badKind = notePackage("Kind.vesknote", "t", {"media/a.png"});
    writeFile(badKind + "/media/a.png", png());
    QFile manifest(badKind + "/note.json");
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    const QByteArray json = manifest.readAll().replace("\"note\"", "\"Note\"");
    manifest.close();
    writeFile(badKind + "/note.json", json);
    EXPECT_FALSE(importNow(*store, badKind));
    EXPECT_EQ(logLines.last(), "Vesk note package manifest invalid: Kind.vesknote");
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->detail, "Kind.vesknote cannot be imported: its note.json is not a valid note.");
}

TEST_F(StorePackageTest, ActivityPackagesWithAndWithoutManifests)
{
    const auto store = makeStore();
    ASSERT_TRUE(importNow(*store, activityPackage("Morning Walk.veskactivity", std::nullopt)));
    VeskItem item = store->items().first();
    EXPECT_EQ(item.kind, VeskKind::Activity);
    EXPECT_EQ(item.title, "Morning Walk");
    EXPECT_EQ(item.note, "");
    EXPECT_EQ(item.searchableText, "__vesk_activity__ activity Vesk Mobile Morning Walk Morning Walk.veskactivity");
    EXPECT_EQ(store->intakeNotice()->title, "Activity received");
    EXPECT_TRUE(QFileInfo(*item.filePath + "/media/p.png").isFile());

    ASSERT_TRUE(importNow(*store, activityPackage("   .veskactivity",
        R"({"activityID":"A1","activity_type":"hike","started_at":"s","summary":" Lake ","notes":"  ",
            "capture_count":0})")));
    item = store->items().first();
    EXPECT_EQ(item.title, "Vesk Mobile Activity");
    EXPECT_EQ(item.note, "Lake");
    EXPECT_EQ(item.searchableText.toString().toStdString(),
              "__vesk_activity__ activity Vesk Mobile Vesk Mobile Activity    .veskactivity "
              "A1 hike started s  Lake     0 captures");

    // A folder of another name holding "activity.json", and a lone manifest file.
    const QString folder = activityPackage("export", R"({"title":"Swim"})");
    ASSERT_TRUE(importNow(*store, folder));
    EXPECT_EQ(store->items().first().title, "Swim");
    const QString lone = writeFile(sourceDir + "/Ride.veskactivity", R"({"title":"Ride"})");
    ASSERT_TRUE(importNow(*store, lone));
    EXPECT_EQ(store->items().first().title, "Ride");
    EXPECT_TRUE(QFileInfo(*store->items().first().filePath).isFile());
    EXPECT_EQ(storedItems().size(), 4);
}

TEST_F(StorePackageTest, AnActivityIsHeldAlreadyOnlyWhenAHeldPackageNamesTheSameIdentifier)
{
    auto store = makeStore();
    ASSERT_TRUE(importNow(*store, activityPackage("One.veskactivity", R"({"activityID":"A12"})")));
    const QUuid first = store->items().first().id;
    ASSERT_TRUE(importNow(*store, activityPackage("Walk.veskactivity",
                                                  R"({"activityID":"W7","title":"Morning Walk in the park"})")));
    // Neither a word every activity holds, nor a word of another activity's text, nor a part of
    // another identifier counts as held.
    ASSERT_TRUE(importNow(*store, activityPackage("Two.veskactivity", R"({"activityID":"activity"})")));
    ASSERT_TRUE(importNow(*store, activityPackage("Park.veskactivity", R"({"activityID":"park"})")));
    ASSERT_TRUE(importNow(*store, activityPackage("Three.veskactivity", R"({"activityID":"A1"})")));
    EXPECT_EQ(store->items().size(), 5);

    // After a restart the identifiers come from the held packages' own manifests.
    store.reset();
    store = makeStore();
    const QString again = activityPackage("Again.veskactivity", R"({"activityID":" A12 "})");
    EXPECT_TRUE(importNow(*store, again));
    EXPECT_EQ(store->items().size(), 5);
    EXPECT_EQ(store->selectedID(), first);
    EXPECT_EQ(QDir(dataDir + "/Items").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 5);

    // "activity_id" is no identity: a second delivery makes a second item.
    ASSERT_TRUE(importNow(*store, activityPackage("Snake1.veskactivity", R"({"activity_id":"S"})")));
    ASSERT_TRUE(importNow(*store, activityPackage("Snake2.veskactivity", R"({"activity_id":"S"})")));
    EXPECT_EQ(store->items().size(), 7);
}

TEST_F(StorePackageTest, InboxEntriesLeaveOnlyOnceTheirItemIsSaved)
{
    const auto store = makeStore();
    const QString inbox = makeTempDirectory("Inbox");
    const QString kept = writeFile(inbox + "/kept.txt", "kept");
    const QString gone = inbox + "/gone.txt";
    store->importInboxFiles({gone, kept});
    EXPECT_EQ(store->inboxImportCount(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->inboxImportCount() == 0; }, 10'000));
    EXPECT_FALSE(QFile::exists(kept));
    EXPECT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->inboxImportCount(), 0);

    failItemSaves(*store, true);
    const QString unsaved = writeFile(inbox + "/unsaved.txt", "unsaved");
    store->importInboxFiles({unsaved});
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->inboxImportCount() == 0; }, 10'000));
    EXPECT_TRUE(QFile::exists(unsaved));

    // A note package offered file by file by the synced inbox is imported and removed as a whole.
    failItemSaves(*store, false);
    const QString package = notePackage("Cloud.vesknote", "cloud", {"media/a.png"});
    writeFile(package + "/media/a.png", png());
    store->importCloudInboxPackages({package + "/note.json", package + "/media/a.png"});
    // Offered again by the next scan while it is still being imported: imported once.
    store->importCloudInboxPackages({package});
    EXPECT_EQ(store->cloudImportCount(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->cloudImportCount() == 0; }, 10'000));
    EXPECT_FALSE(QFileInfo::exists(package));
    EXPECT_EQ(titles(store->items()).count("cloud"), 1);
    EXPECT_EQ(store->items().first().title, "cloud");
    EXPECT_EQ(store->cloudImportCount(), 0);
}

// A package the library cannot take is said as a plain file on the same library is, whether it
// was dropped or came through the synced inbox, and the synced inbox's next scans do not say it
// again.
TEST_F(StorePackageTest, APackageThatCannotBeCopiedIsSaidAsAPlainFileIsByBothRoads)
{
    enum class Fault { FullDisk, UnwritableItems, ReadOnlyLibrary };
    enum class Road { Drop, SyncedInbox };
    const struct {
        const char* name;
        Fault fault;
    } faults[] = {
        {"a disk that fills up under the copy", Fault::FullDisk},
        {"an items folder that takes no new folders", Fault::UnwritableItems},
        {"a library opened for reading only", Fault::ReadOnlyLibrary},
    };
    const QByteArray beyondTheRoomLeft(2 << 20, 'b');
    for (const auto& fault : faults) {
        for (const Road road : {Road::Drop, Road::SyncedInbox}) {
            SCOPED_TRACE(std::string(fault.name) + (road == Road::Drop ? ", dropped" : ", synced inbox"));
            dataDir = makeTempDirectory("store");
            sourceDir = makeTempDirectory("source");
            std::shared_ptr<void> guard;
            const auto unwritable = [&guard](const QString& path) {
                auto made = std::make_shared<UnwritableGuard>(path);
                if (made->active())
                    guard = made;
                return made->active();
            };
            if (fault.fault == Fault::ReadOnlyLibrary) {
                (void)makeStore();
                if (!unwritable(dataDir))
                    GTEST_SKIP() << "this file system cannot make a folder unwritable";
            }
            auto store = makeStore();
            if (fault.fault == Fault::UnwritableItems) {
                QDir().mkpath(dataDir + "/Items");
                if (!unwritable(dataDir + "/Items"))
                    GTEST_SKIP() << "this file system cannot make a folder unwritable";
            }
            const QString plain = source("plain.bin", beyondTheRoomLeft);
            const QString note = notePackage("Trip.vesknote", "Trip", {"media/a.png"});
            writeFile(note + "/media/a.png", png());
            writeFile(note + "/media/big.bin", beyondTheRoomLeft);
            const QString activity = activityPackage("Walk.veskactivity", R"({"title":"Walk"})");
            writeFile(activity + "/media/big.bin", beyondTheRoomLeft);

            std::unique_ptr<FileSizeLimit> full;
            if (fault.fault == Fault::FullDisk)
                full = std::make_unique<FileSizeLimit>(1 << 20);
            for (const QString& entry : {plain, note, activity}) {
                if (road == Road::Drop) {
                    EXPECT_FALSE(importNow(*store, entry));
                    continue;
                }
                // Offered again at every scan while it stays.
                for (int scan = 0; scan < 4; ++scan) {
                    store->importCloudInboxPackages({entry});
                    ASSERT_TRUE(QTest::qWaitFor([&] { return store->cloudImportCount() == 0; }, 10'000));
                }
            }
            full.reset();

            ASSERT_TRUE(store->failureNotice());
            EXPECT_EQ(store->failureNotice()->title, "Not imported");
            EXPECT_EQ(store->failureNotice()->count, 3) << store->failureNotice()->detail.toStdString();
            const QStringList lines = store->failureNotice()->detail.split('\n');
            ASSERT_EQ(lines.size(), 3) << store->failureNotice()->detail.toStdString();
            ASSERT_TRUE(lines[0].startsWith("\u201Cplain.bin\u201D ")) << lines[0].toStdString();
            for (const QString name : {QStringLiteral("Trip.vesknote"), QStringLiteral("Walk.veskactivity")}) {
                const QString expected = QString(lines[0]).replace("plain.bin", name);
                EXPECT_TRUE(lines.contains(expected)) << expected.toStdString() << "\n"
                                                      << store->failureNotice()->detail.toStdString();
            }
            EXPECT_TRUE(store->items().isEmpty());
            EXPECT_TRUE(QFileInfo(note + "/media/big.bin").isFile());
            EXPECT_TRUE(QFileInfo(activity + "/media/big.bin").isFile());
            guard.reset();
            EXPECT_TRUE(QDir(dataDir + "/Items").entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        }
    }
}

TEST_F(StorePackageTest, PackagesKeptAsPlainFilesBecomePackageItemsAtStartUp)
{
    const QString managed = dataDir + "/Items/" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString package = managed + "/Run.veskactivity";
    writeFile(package + "/activity.json", R"({"title":"Evening run","summary":"fast"})");
    VeskItem stored = makeItem("Run.veskactivity", 100, VeskKind::File, package);
    stored.note = "mine";
    const QString notPackage = writeFile(dataDir + "/Items/other/plain.txt", "p");
    seed({stored, makeItem("plain.txt", 50, VeskKind::File, notPackage)});

    const auto store = makeStore();
    // Read on a worker: done once the package has become an activity.
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 2 && store->items().at(store->indexOfItem(stored.id)).kind == VeskKind::Activity; }, 10'000));
    const VeskItem item = *std::find_if(store->items().begin(), store->items().end(),
                                         [&](const VeskItem& i) { return i.id == stored.id; });
    EXPECT_EQ(item.kind, VeskKind::Activity);
    EXPECT_EQ(item.title, "Evening run");
    EXPECT_EQ(item.note, "mine\nfast");
    EXPECT_EQ(item.filePath, package);
    const QList<VeskItem> rows = storedItems();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const VeskItem& i) { return i.kind == VeskKind::Activity; }), 1);
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const VeskItem& i) { return i.kind == VeskKind::File; }), 1);
}

TEST_F(StorePackageTest, TheStoreWatchesItsInbox)
{
    VeskServices s = services();
    s.watchInboxes = true;
    VeskStore store(s);
    const QString file = writeFile(dataDir + "/Inbox/dropped.txt", "dropped");
    // The watcher starts once search is ready, and the item and the file's removal each come in a
    // turn of their own: wait for both, with room for a busy machine.
    EXPECT_TRUE(QTest::qWaitFor([&] { return store.items().size() == 1 && !QFile::exists(file); }, 20000));
    EXPECT_EQ(store.items().size(), 1);
    EXPECT_FALSE(QFile::exists(file));
}

} // namespace
} // namespace vesk::test
