#include "store/IntakeStoreFixture.h"

#include "platform/Uuid.h"

#include <QTest>

namespace vesk::test {
namespace {

using FileImportTest = IntakeStoreTest;

TEST_F(FileImportTest, FileBecomesAManagedCopyAndASavedItem)
{
    auto store = makeStore();
    const QString path = source(QStringLiteral("Budget Plan.pdf"), "%PDF-1.4 budget");
    ASSERT_TRUE(importNow(*store, path));
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem item = store->items().first();
    EXPECT_EQ(item.kind, VeskKind::File);
    EXPECT_EQ(item.title, QStringLiteral("Budget Plan"));
    EXPECT_EQ(item.filePath, dataDir + "/Items/" + uuidString(item.id) + "/Budget Plan.pdf");
    EXPECT_TRUE(item.searchableText.toString().startsWith(QStringLiteral("Budget Plan.pdf Budget Plan pdf ")));
    EXPECT_TRUE(item.searchableText.toString().contains(QStringLiteral("15 bytes")));
    EXPECT_EQ(store->selectedID(), item.id);
    EXPECT_EQ(storedItems(), QList<VeskItem>{item});
    EXPECT_TRUE(QFileInfo::exists(path)); // the user's own file stays
    // Not an image: no thumbnail and no analysis.
    EXPECT_TRUE(thumbnails->requests.isEmpty());
    EXPECT_EQ(store->indexingCount(), 0);
    EXPECT_EQ(store->importCountInProgress(), 0);
    EXPECT_FALSE(store->intakeNotice());
}

TEST_F(FileImportTest, EqualContentIsAlreadyKeptWhateverItsName)
{
    auto store = makeStore();
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("scan.png"), "same bytes")));
    const VeskItem kept = store->items().first();
    // Retitled meanwhile: only the content counts.
    VeskItem retitled = kept;
    retitled.title = QStringLiteral("Receipt");
    ASSERT_TRUE(store->updateItem(retitled));
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("other.txt"), "other")));
    store->setSelectedIDs({store->items().first().id});

    EXPECT_TRUE(importNow(*store, source(QStringLiteral("copy of scan.bin"), "same bytes")));
    EXPECT_EQ(store->items().size(), 2);
    EXPECT_EQ(store->selectedID(), kept.id);
    EXPECT_EQ(store->selectedIDs(), QSet<QUuid>{kept.id});
    ASSERT_TRUE(store->intakeNotice());
    EXPECT_EQ(store->intakeNotice()->kind, VeskIntakeNoticeKind::Duplicate);
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Already in Vesk"));
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Receipt"));
    EXPECT_EQ(store->intakeNotice()->relatedID, kept.id);

    // The same file dropped again is a duplicate of its first import.
    const QString twice = source(QStringLiteral("twice.txt"), "dropped twice");
    ASSERT_TRUE(importNow(*store, twice));
    ASSERT_TRUE(importNow(*store, twice));
    EXPECT_EQ(store->items().size(), 3);
    EXPECT_EQ(QDir(dataDir + "/Items").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 3);
}

TEST_F(FileImportTest, SizeThenHashDecideAndMissingCopiesNeverMatch)
{
    auto store = makeStore();
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("a.bin"), "AAAA")));
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("b.bin"), "BBBB"))); // same size, other bytes
    EXPECT_EQ(store->items().size(), 2);

    // A kept item whose managed copy went missing is not "already kept".
    const VeskItem b = store->items().first();
    ASSERT_TRUE(QFile::remove(*b.filePath));
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("b again.bin"), "BBBB")));
    EXPECT_EQ(store->items().size(), 3);
    EXPECT_NE(store->items().first().id, b.id);
}

TEST_F(FileImportTest, AnotherVersionOfAKeptDocumentIsImportedAndNamed)
{
    auto store = makeStore();
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("Report.docx"), "word")));
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("Report.pdf"), "first")));
    const VeskItem report = store->items().first();
    EXPECT_EQ(report.title, QStringLiteral("Report"));
    EXPECT_FALSE(store->intakeNotice());

    ASSERT_TRUE(importNow(*store, source(QStringLiteral("Report final.pdf"), "second")));
    EXPECT_EQ(store->items().size(), 3);
    ASSERT_TRUE(store->intakeNotice());
    EXPECT_EQ(store->intakeNotice()->kind, VeskIntakeNoticeKind::Version);
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Looks like another version"));
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Report"));
    EXPECT_EQ(store->intakeNotice()->relatedID, report.id);
}

TEST_F(FileImportTest, TextFilesGiveTheirFirstCharactersAndPagesTheirTextAndTitle)
{
    auto store = makeStore();
    QByteArray text(200'000, 'a');
    text[119'999] = 'Z';
    text[120'000] = 'Q';
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("long.txt"), text)));
    const QString searchable = store->items().first().searchableText.toString();
    EXPECT_TRUE(searchable.endsWith(QString(119'999, QLatin1Char('a')) + QLatin1Char('Z')));
    EXPECT_FALSE(searchable.contains(QLatin1Char('Q')));

    ASSERT_TRUE(importNow(*store, source(QStringLiteral("page.html"),
                                         "<title>Trip &amp; plans</title><script>x()</script><p>Day one</p>")));
    EXPECT_TRUE(store->items().first().searchableText.toString().endsWith(
        QStringLiteral(" Trip & plans\nDay one Trip & plans")));

    ASSERT_TRUE(importNow(*store, source(QStringLiteral("latin.html"), "<title>Caf\xE9</title>")));
    const VeskItem latin = store->items().first();
    EXPECT_FALSE(latin.searchableText.toString().contains(QStringLiteral("Caf")));
    EXPECT_TRUE(latin.searchableText.toString().startsWith(QStringLiteral("latin.html latin html")));
}

TEST_F(FileImportTest, FolderIsKeptWholeAsOneFileItem)
{
    auto store = makeStore();
    source(QStringLiteral("Holiday/day1.txt"), "beach");
    source(QStringLiteral("Holiday/day2.txt"), "beach"); // equal files inside are no duplicates
    ASSERT_TRUE(importNow(*store, sourceDir + "/Holiday"));
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem folder = store->items().first();
    EXPECT_EQ(folder.kind, VeskKind::File);
    EXPECT_EQ(folder.title, QStringLiteral("Holiday"));
    EXPECT_TRUE(QFileInfo(*folder.filePath).isDir());
    EXPECT_TRUE(QFileInfo::exists(*folder.filePath + "/day2.txt"));
}

TEST_F(FileImportTest, ImagesStartThumbnailAndAnalysis)
{
    auto store = makeStore();
    QList<int> indexing;
    QObject::connect(store.get(), &VeskStore::indexingCountChanged, [&] { indexing.append(store->indexingCount()); });
    ASSERT_TRUE(importNow(*store, source(QStringLiteral("IMG_4821.HEIC"), "not really heic")));
    const VeskItem photo = store->items().first();
    EXPECT_EQ(photo.kind, VeskKind::Image);
    EXPECT_TRUE(photo.title.startsWith(QStringLiteral("Photo \u2022 ")));
    ASSERT_EQ(thumbnails->requests.size(), 1);
    EXPECT_EQ(thumbnails->requests.first(), std::make_pair(photo.id, 520));
    // Raised for the analysis as the import is applied; lowered again once it (and the item's
    // embedding) ran on the main thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->indexingCount() == 0; }, 2000));
    ASSERT_FALSE(indexing.isEmpty());
    EXPECT_EQ(indexing.first(), 1);
    EXPECT_EQ(indexing.last(), 0);
}

TEST_F(FileImportTest, NothingAtThePathIsFalseWithCountersRestored)
{
    auto store = makeStore();
    int changes = 0;
    QObject::connect(store.get(), &VeskStore::importCountInProgressChanged, [&] { ++changes; });
    EXPECT_FALSE(importNow(*store, sourceDir + "/missing.pdf"));
    EXPECT_EQ(store->importCountInProgress(), 0);
    EXPECT_EQ(changes, 2); // up while it ran, then down
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(logLines.isEmpty());
}

TEST_F(FileImportTest, ACopyThatCannotBeMadeRefusesTheImport)
{
    auto store = makeStore();
    const QString pipe = sourceDir + "/pipe";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(importNow(*store, pipe));
    EXPECT_TRUE(store->items().isEmpty());
    ASSERT_EQ(logLines.size(), 2);
    EXPECT_TRUE(logLines.at(0).startsWith(QStringLiteral("Vesk copy error for ") + pipe + ": "));
    EXPECT_EQ(logLines.at(1), QStringLiteral("Vesk refused to create a fragile file reference for ") + pipe);
}

TEST_F(FileImportTest, AnUnsavedImportIsNotKeptUntilItsRowIsWritten)
{
    auto store = makeStore();
    const QString path = source(QStringLiteral("contract.pdf"), "signed");
    failItemSaves(*store, true);
    EXPECT_FALSE(importNow(*store, path)); // an inbox keeps its source
    ASSERT_EQ(store->items().size(), 1);
    const QUuid shown = store->items().first().id;

    // Again while saving still fails: no second item, and still not kept.
    EXPECT_FALSE(importNow(*store, path));
    EXPECT_EQ(store->items().size(), 1);
    EXPECT_TRUE(storedItems().isEmpty());

    // Once the row can be written the same source counts as kept.
    failItemSaves(*store, false);
    EXPECT_TRUE(importNow(*store, path));
    EXPECT_EQ(store->items().size(), 1);
    ASSERT_EQ(storedItems().size(), 1);
    EXPECT_EQ(storedItems().first().id, shown);
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Already in Vesk"));
}

TEST_F(FileImportTest, WithoutADatabaseNothingCountsAsImported)
{
    auto store = makeStore(false);
    const QString path = source(QStringLiteral("notes.txt"), "only in memory");
    EXPECT_FALSE(importNow(*store, path));
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(store->failureNotice());
}

} // namespace
} // namespace vesk::test
