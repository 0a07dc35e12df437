#include "store/FaultInjection.h"
#include "store/IntakeStoreFixture.h"
#include "store/StoreInternals.h"

#include <QDirIterator>
#include <QTest>
#include <algorithm>

namespace vesk::test {
namespace {

class ImportWorkerTest : public IntakeStoreTest {
protected:
    QString bigSource(const QString& name, int mebibytes)
    {
        const QString path = sourceDir + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray chunk(1 << 20, 'b');
        for (int i = 0; i < mebibytes; ++i)
            file.write(chunk);
        return path;
    }

    // The library file's items in the order of items(): rows made within the same second of the
    // fake clock come back in any order.
    QList<VeskItem> storedInListOrder(const VeskStore& store) const
    {
        QList<VeskItem> stored = storedItems();
        std::sort(stored.begin(), stored.end(), [&](const VeskItem& a, const VeskItem& b) {
            return store.indexOfItem(a.id) < store.indexOfItem(b.id);
        });
        return stored;
    }

    QStringList itemFolders() const
    {
        return QDir(dataDir + QStringLiteral("/Items")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

TEST_F(ImportWorkerTest, AnImportCancelledMidwayLeavesNothingBehind)
{
    auto store = makeStore();
    QFuture<bool> import = store->importFile(bigSource(QStringLiteral("big.mov"), 160));
    EXPECT_EQ(store->importCountInProgress(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        QDirIterator staging(dataDir + QStringLiteral("/Items"), {QStringLiteral(".vesk-partial")}, QDir::Files | QDir::Hidden,
                             QDirIterator::Subdirectories);
        return staging.hasNext() && QFileInfo(staging.next()).size() > 0;
    }, 10'000)) << "the copy was never seen under way";
    store->cancelAllImports();

    EXPECT_FALSE(finished(import));
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(itemFolders().isEmpty()) << itemFolders().join(',').toStdString();
    EXPECT_EQ(store->importCountInProgress(), 0);
    EXPECT_FALSE(store->failureNotice()) << "a cancel is no failure";
    EXPECT_FALSE(store->importProgress());
}

// In an empty library, and beside a kept file of the same size, which each import finds out about
// and hands back while the other runs. Dropped again afterwards, one at a time, it is found kept.
TEST_F(ImportWorkerTest, TheSameFileDroppedTwiceAtOnceIsOneItemAndOneAlreadyKeptNotice)
{
    for (const bool besideAnother : {false, true}) {
        SCOPED_TRACE(besideAnother ? "beside a file of its size" : "empty library");
        dataDir = makeTempDirectory(QStringLiteral("twice"));
        auto store = makeStore();
        if (besideAnother) {
            // Kept before this start: nothing is known of its file yet.
            ASSERT_TRUE(importNow(*store, source(QStringLiteral("other.pdf"), "two scan")));
            store.reset();
            store = makeStore();
        }
        const qsizetype kept = store->items().size();
        const QString path = source(QStringLiteral("scan.pdf"), "one scan");
        QList<VeskIntakeNotice> notices;
        QObject::connect(store.get(), &VeskStore::intakeNoticeChanged, [&] {
            if (store->intakeNotice())
                notices.append(*store->intakeNotice());
        });
        QFuture<bool> first = store->importFile(path);
        QFuture<bool> second = store->importFile(path);
        EXPECT_TRUE(finished(first));
        EXPECT_TRUE(finished(second));
        ASSERT_EQ(store->items().size(), kept + 1);
        EXPECT_EQ(itemFolders().size(), kept + 1) << "the second copy is not kept";
        ASSERT_EQ(notices.size(), 1);
        EXPECT_EQ(notices.first().title, QStringLiteral("Already in Vesk"));
        EXPECT_EQ(notices.first().relatedID, store->items().first().id);

        for (int again = 0; again < 2; ++again)
            EXPECT_TRUE(importNow(*store, path));
        EXPECT_EQ(store->items().size(), kept + 1);
        EXPECT_EQ(itemFolders().size(), kept + 1);
        EXPECT_EQ(notices.size(), 3);
        store.reset();
    }
}

TEST_F(ImportWorkerTest, EntriesOfOneInboxScanThatCannotBeImportedAreEachNamed)
{
    auto store = makeStore();
    QStringList pipes;
    for (const QString name : {QStringLiteral("first|pipe"), QStringLiteral("second pipe")}) {
        pipes.append(sourceDir + QLatin1Char('/') + name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipes.last()).constData(), 0600), 0);
    }
    store->importCloudInboxPackages(pipes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->cloudImportCount() == 0; }, 10'000));
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not imported"));
    EXPECT_EQ(store->failureNotice()->count, 2);
    EXPECT_EQ(store->failureNotice()->named, 2);
    for (const QString name : {QStringLiteral("\u201Cfirst|pipe\u201D"), QStringLiteral("\u201Csecond pipe\u201D")})
        EXPECT_TRUE(store->failureNotice()->detail.contains(name)) << store->failureNotice()->detail.toStdString();
}

TEST_F(ImportWorkerTest, FailedImportsAreSaidAndLeaveNothing)
{
    auto store = makeStore();
    const QString pipe = sourceDir + QStringLiteral("/pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(importNow(*store, pipe));
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not imported"));
    EXPECT_TRUE(store->failureNotice()->detail.contains(QStringLiteral("a pipe or a device")));
    EXPECT_EQ(countLines(QStringLiteral("Vesk refused to create a fragile file reference for ") + pipe), 1);

    // A disk that fills up during the copy.
    const QString film = bigSource(QStringLiteral("film.mov"), 8);
    {
        FileSizeLimit full(2 << 20);
        EXPECT_FALSE(importNow(*store, film));
    }
    EXPECT_TRUE(store->failureNotice()->detail.contains(QStringLiteral("the disk is full")))
        << store->failureNotice()->detail.toStdString();
    EXPECT_EQ(store->failureNotice()->count, 2);

    // Gone before its turn came.
    EXPECT_FALSE(importNow(*store, sourceDir + QStringLiteral("/gone.pdf")));
    EXPECT_TRUE(store->failureNotice()->detail.contains(QStringLiteral("no longer there")));

    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(itemFolders().isEmpty());
}

// A disk with room left but no inodes refuses a new folder or file as a full one does: the notice
// says so, not which folder could not be made.
TEST_F(ImportWorkerTest, ADiskOutOfInodesIsSaidToBeFull)
{
    dataDir = makeTempDirectory(QStringLiteral("small-disk"));
    SmallDisk disk(dataDir, "size=8m,nr_inodes=64");
    if (!disk.active())
        GTEST_SKIP() << disk.whyNotActive();
    auto store = makeStore();
    const QString notes = source(QStringLiteral("notes.txt"), "a few words");
    const QString folder = source(QStringLiteral("Holiday/day one.txt"), "sun");
    ASSERT_TRUE(disk.useUpInodes());
    for (const QString& path : {notes, QFileInfo(folder).path()}) {
        SCOPED_TRACE(path.toStdString());
        while (store->failureNotice())
            store->dismissFailureNotice();
        EXPECT_FALSE(importNow(*store, path));
        ASSERT_TRUE(store->failureNotice());
        EXPECT_EQ(store->failureNotice()->detail,
                  QStringLiteral("\u201C") + QFileInfo(path).fileName()
                      + QStringLiteral("\u201D could not be imported: the disk is full."));
    }
    EXPECT_TRUE(store->items().isEmpty());
}

TEST_F(ImportWorkerTest, CapturesMadeInABurstKeepTheirOrderWhateverTheirSize)
{
    auto store = makeStore();
    const QString longText = QStringLiteral("Long notes\n") + QString(300'000, QLatin1Char('w'));
    QByteArray longPage = "<title>Long page</title><p>";
    longPage += QByteArray(300'000, 'p');
    store->addText(longText);
    store->addText(QStringLiteral("Short after long"));
    store->addHTML(longPage);
    store->addLink(QUrl(QStringLiteral("https://example.org/last")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 4; }, vesk::test::realWaitMs(10'000)));
    // Newest first: the reverse of the order they were made in.
    EXPECT_EQ(titles(store->items()), (QStringList{"example.org", "Long page", "Short after long", "Long notes"}));
    EXPECT_EQ(storedItems().size(), 4);
}

// Its words are read where the capture is made ready; the index takes them when it arrives, and
// a search already in the field finds it.
TEST_F(ImportWorkerTest, ALargeCaptureIsFoundOnceItArrives)
{
    auto store = makeStore();
    store->setSearchText(QStringLiteral("lanterns"));
    const QString longText = QStringLiteral("Ferry log\n") + QString(200'000, QLatin1Char('w'))
        + QStringLiteral(" lanterns ") + QString(200'000, QLatin1Char('v'));
    store->addText(longText);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->filteredItems().size() == 1; }, 10'000));
    EXPECT_EQ(store->filteredItems().first().title, QStringLiteral("Ferry log"));
    store->setSearchText(QStringLiteral("ferry"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->filteredItems().size() == 1; }, 2'000));
}

// A large capture is compared with the library away from the main thread; one that repeats a long
// note already kept, edited a little, still names it.
TEST_F(ImportWorkerTest, ALargeCaptureThatRepeatsALongNoteNamesIt)
{
    auto store = makeStore();
    const QStringList vocabulary = QStringLiteral(
        "harbour lantern ferry crossing timetable morning quiet rain station bridge river pocket "
        "ticket window market winter summer garden meeting letter").split(QLatin1Char(' '));
    QString longNote;
    quint32 state = 7;
    while (longNote.size() < 150'000) {
        state = state * 1664525u + 1013904223u;
        longNote += vocabulary.at(qsizetype((state >> 16) % quint32(vocabulary.size())));
        longNote += (state >> 8) % 12 == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    store->addText(longNote, QStringLiteral("Ferry log"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 1; }, 10'000));
    EXPECT_FALSE(store->intakeNotice());
    const QUuid older = store->items().first().id;

    QString edited = longNote;
    edited.replace(0, 40, QStringLiteral("Ferry log, copied again from the notebook"));
    store->addText(edited);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 2; }, 10'000));
    ASSERT_TRUE(store->intakeNotice());
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Looks familiar"));
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Ferry log"));
    EXPECT_EQ(store->intakeNotice()->relatedID, older);
}

// An imported file's row goes through the background connection; when that one refuses it, the
// main connection writes it, and when both do, the item is shown unsaved, said, and tried again.
TEST_F(ImportWorkerTest, ARefusedBackgroundRowIsWrittenByTheMainConnectionOrMarkedUnsavedAndRetried)
{
    auto store = makeStore();
    sqlite3_set_authorizer(
        StoreInternals::backgroundDatabase(*store)->nativeHandleForTesting(),
        [](void*, int action, const char* table, const char*, const char*, const char*) {
            const bool itemRow = table && std::string_view(table) == "vesks";
            return (action == SQLITE_INSERT || action == SQLITE_UPDATE) && itemRow ? SQLITE_DENY : SQLITE_OK;
        },
        nullptr);
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("receipt.pdf"), "paid")));
    EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
    EXPECT_FALSE(store->failureNotice());
    EXPECT_EQ(storedItems(), store->items());

    failItemSaves(*store, true);
    EXPECT_FALSE(importNow(*store, source(QStringLiteral("ticket.pdf"), "row 12")));
    ASSERT_EQ(store->items().size(), 2);
    const VeskItem ticket = store->items().first();
    EXPECT_EQ(store->unsavedItemIDs(), QSet<QUuid>{ticket.id});
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not saved"));
    EXPECT_EQ(storedItems().size(), 1);

    failItemSaves(*store, false);
    EXPECT_EQ(store->retryUnsavedItems(), 0);
    EXPECT_FALSE(store->failureNotice());
    EXPECT_EQ(storedInListOrder(*store), store->items());
}

// A row written in the background never lands on top of a later edit: the item shows only once
// its row is in the file.
TEST_F(ImportWorkerTest, AnEditRightAfterAnImportIsWhatTheLibraryFileHolds)
{
    auto store = makeStore();
    bool renamed = false;
    QObject::connect(store.get(), &VeskStore::itemsChanged, [&] {
        if (renamed || store->items().isEmpty())
            return;
        // In the very turn in which the first import arrives, while the second may be written.
        renamed = true;
        VeskItem first = store->items().first();
        first.title = QStringLiteral("Minutes, corrected");
        EXPECT_TRUE(store->updateItem(first));
    });
    QFuture<bool> first = store->importFile(source(QStringLiteral("minutes.txt"), "first meeting"));
    QFuture<bool> second = store->importFile(source(QStringLiteral("agenda.txt"), "second meeting"));
    EXPECT_TRUE(finished(first));
    EXPECT_TRUE(finished(second));
    drainWrites(*store);
    ASSERT_TRUE(renamed);
    EXPECT_EQ(titles(storedInListOrder(*store)), (QStringList{"agenda", "Minutes, corrected"}));
    EXPECT_EQ(storedInListOrder(*store), store->items());
}

} // namespace
} // namespace vesk::test
