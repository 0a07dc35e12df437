#include "store/FaultInjection.h"
#include "store/IntakeStoreFixture.h"

#include <QDirIterator>
#include <QTest>

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

TEST_F(ImportWorkerTest, TheSameFileDroppedTwiceAtOnceIsOneItemAndOneAlreadyKeptNotice)
{
    auto store = makeStore();
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
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(itemFolders().size(), 1) << "the second copy is not kept";
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices.first().title, QStringLiteral("Already in Vesk"));
    EXPECT_EQ(notices.first().relatedID, store->items().first().id);
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 4; }, 10'000));
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

} // namespace
} // namespace vesk::test
