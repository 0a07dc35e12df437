#include "common/TestEnvironment.h"
#include "intake/FileImportJob.h"
#include "intake/ItemsFolderSweep.h"
#include "intake/ManagedStorage.h"
#include "platform/Sha256.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

namespace vesk {
namespace {

// What a test does at the moment a file or folder is renamed (before it is), or nothing.
std::function<void(const QByteArray& from)> atRename;

} // namespace
} // namespace vesk

// Every rename of this process passes here, so that a test can act at the moment a copy is put in
// place; it then renames as the system does.
extern "C" int rename(const char* from, const char* to) noexcept
{
    using Rename = int (*)(const char*, const char*) noexcept;
    static const auto system = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
    if (vesk::atRename)
        vesk::atRename(QByteArray(from));
    return system(from, to);
}

namespace vesk {
namespace {

using test::writeFile;

void setAge(const QString& path, qint64 secondsAgo)
{
    const qint64 when = QDateTime::currentSecsSinceEpoch() - secondsAgo;
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(ManagedCopyStream, OneReadCopiesAndHashesAndACancelLeavesNothing)
{
    const QString source = test::makeTempDirectory(QStringLiteral("source"));
    const QString items = test::makeTempDirectory(QStringLiteral("data")) + QStringLiteral("/Items");
    QByteArray bytes(5 * 1024 * 1024 + 3, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 253);
    const QString film = writeFile(source + QStringLiteral("/film.mov"), bytes);

    QList<qint64> progress;
    ManagedCopyOptions options;
    options.hashContent = true;
    options.progress = [&](qint64 done) { progress.append(done); };
    const auto copied = copyIntoManagedStorage(QFile::encodeName(film), QStringLiteral("film.mov"), items, QUuid::createUuid(), options);
    ASSERT_TRUE(copied) << copied.error().logText().toStdString();
    EXPECT_EQ(copied->sha256, sha256Hex(bytes));
    EXPECT_EQ(copied->size, bytes.size());
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), bytes.size());

    // Cancelled after the first chunk: no copy, no staging file, no item folder.
    CancellationToken cancel;
    ManagedCopyOptions stopping;
    stopping.hashContent = true;
    stopping.cancel = cancel;
    stopping.progress = [&](qint64) { cancel.cancel(); };
    const QUuid id = QUuid::createUuid();
    const auto cancelled = copyIntoManagedStorage(QFile::encodeName(film), QStringLiteral("film.mov"), items, id, stopping);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error(), managedCopyCancelled());
    EXPECT_FALSE(QFileInfo::exists(items + QLatin1Char('/') + uuidString(id)));
}

TEST(ManagedCopyStream, ANameInAnotherEncodingIsReadAsBytesAndKeptReadable)
{
    const QString source = test::makeTempDirectory(QStringLiteral("source"));
    const QString items = test::makeTempDirectory(QStringLiteral("data")) + QStringLiteral("/Items");
    // "café.txt" written in Latin-1, as an older system or a memory card leaves it.
    const QByteArray nativePath = QFile::encodeName(source) + "/caf\xE9.txt";
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "menu", 4), 4);
    ::close(fd);

    FileImportRequest request;
    request.sourceNative = nativePath;
    request.itemsDirectory = items;
    request.id = QUuid::createUuid();
    const FileImportResult result = runFileImport(request);
    ASSERT_EQ(result.outcome, FileImportResult::Outcome::Imported) << result.error.toStdString();
    EXPECT_EQ(result.sourceName, QStringLiteral("caf\u00E9.txt"));
    EXPECT_EQ(result.managedPath, items + QLatin1Char('/') + uuidString(request.id) + QStringLiteral("/caf\u00E9.txt"));
    EXPECT_TRUE(QFileInfo::exists(result.managedPath));
    EXPECT_EQ(result.sha256, sha256Hex("menu"));
}

TEST(ManagedPaths, AStoredPathFollowsTheLibraryOnlyWhenTheOldOneIsGone)
{
    const QString items = test::makeTempDirectory(QStringLiteral("data")) + QStringLiteral("/Items");
    const QUuid id = QUuid::createUuid();
    const QString rest = uuidString(id) + QStringLiteral("/a b.pdf");
    writeFile(items + QLatin1Char('/') + rest, "pdf");

    EXPECT_EQ(relocatedManagedPath(QStringLiteral("/gone/Vesk/Items/") + rest, id, items), items + QLatin1Char('/') + rest);
    // Already here, another item's folder, or a path that is no managed copy: unchanged.
    EXPECT_FALSE(relocatedManagedPath(items + QLatin1Char('/') + rest, id, items));
    EXPECT_FALSE(relocatedManagedPath(QStringLiteral("/gone/Vesk/Items/") + rest, QUuid::createUuid(), items));
    EXPECT_FALSE(relocatedManagedPath(QStringLiteral("/gone/MyItems/") + rest, id, items));
    // The old place still holds it (a copied library): it stays where it was stored.
    const QString old = test::makeTempDirectory(QStringLiteral("old")) + QStringLiteral("/Items/") + rest;
    writeFile(old, "pdf");
    EXPECT_FALSE(relocatedManagedPath(old, id, items));
}

class ItemsSweepTest : public ::testing::Test {
protected:
    QString data = test::makeTempDirectory(QStringLiteral("data"));
    QString items = data + QStringLiteral("/Items");
    QString recovered = data + QStringLiteral("/Recovered");

    // An item folder from an earlier run, with the given files.
    QString oldFolder(const QString& name, const QStringList& files)
    {
        const QString folder = items + QLatin1Char('/') + name;
        QDir().mkpath(folder);
        for (const QString& file : files) {
            writeFile(folder + QLatin1Char('/') + file, "bytes");
            setAge(folder + QLatin1Char('/') + file, 3600);
        }
        setAge(folder, 3600);
        return folder;
    }

    ItemsFolderSweepReport sweep(const ItemsFolderReferences& references)
    {
        return sweepItemsFolder(items, recovered, references, QDateTime::currentDateTimeUtc().addSecs(-60));
    }
};

TEST_F(ItemsSweepTest, LeftoversGoAndWhatNoItemNamesIsMovedAsideNeverDeleted)
{
    const QString kept = oldFolder(QStringLiteral("KEPT"), {QStringLiteral("photo.jpg"), QStringLiteral(".vesk-partial")});
    const QString userFile = oldFolder(QStringLiteral("USERFILE"), {QStringLiteral(".vesk-partial")});
    oldFolder(QStringLiteral("INTERRUPTED"), {QStringLiteral(".vesk-partial")});
    oldFolder(QStringLiteral("UNCLAIMED"), {QStringLiteral("contract.pdf")});
    oldFolder(QStringLiteral("BUSY"), {QStringLiteral(".vesk-partial")});
    QDir().mkpath(items + QStringLiteral("/JUSTMADE")); // changed a moment ago: work that is beginning

    ItemsFolderReferences references;
    references.folderNames = {QStringLiteral("KEPT"), QStringLiteral("USERFILE")};
    references.filePaths = {kept + QStringLiteral("/photo.jpg"), userFile + QStringLiteral("/.vesk-partial")};
    references.busyFolderNames = {QStringLiteral("BUSY")};
    const ItemsFolderSweepReport report = sweep(references);

    EXPECT_EQ(entries(kept), QStringList{"photo.jpg"}) << "its unfinished copy went, its file stayed";
    EXPECT_EQ(entries(userFile), QStringList{".vesk-partial"}) << "a user's own file of that name is kept";
    EXPECT_FALSE(QFileInfo::exists(items + QStringLiteral("/INTERRUPTED"))) << "an import that never finished";
    EXPECT_EQ(entries(recovered + QStringLiteral("/UNCLAIMED")), QStringList{"contract.pdf"});
    EXPECT_EQ(entries(items + QStringLiteral("/BUSY")), QStringList{".vesk-partial"});
    EXPECT_TRUE(QFileInfo::exists(items + QStringLiteral("/JUSTMADE")));
    EXPECT_EQ(report.removedStaging.size(), 2);
    EXPECT_EQ(report.recovered.size(), 1);
    EXPECT_TRUE(report.errors.isEmpty());

    // A second folder of the same name is recovered beside the first, not over it.
    oldFolder(QStringLiteral("UNCLAIMED"), {QStringLiteral("other.pdf")});
    sweep(references);
    EXPECT_EQ(entries(recovered), (QStringList{"UNCLAIMED", "UNCLAIMED 2"}));
}

// The sweep may look at the Items folder while a copy is being put in place (here: at the very
// moment of its rename). The copy, whose source is old, still looks like new work then, not like
// an unfinished copy an earlier run left behind; and once in place it carries its source's times.
TEST_F(ItemsSweepTest, ACopyBeingPutInPlaceIsLeftToItsImport)
{
    const QString source = test::makeTempDirectory(QStringLiteral("source"));
    const struct {
        const char* name;
        QString path;
    } cases[] = {
        {"a file", writeFile(source + QStringLiteral("/letter.txt"), "dear")},
        {"a folder", QFileInfo(writeFile(source + QStringLiteral("/album/one.jpg"), "jpg")).path()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setAge(c.path, 3600);
        const qint64 sourceChanged = QFileInfo(c.path).lastModified().toSecsSinceEpoch();
        int looked = 0;
        atRename = [&](const QByteArray& from) {
            if (from.endsWith('/' + QFile::encodeName(managedStagingName()))) {
                ++looked;
                sweep({});
            }
        };
        const auto copied = copyIntoManagedStorage(QFile::encodeName(c.path), QFileInfo(c.path).fileName(), items,
                                                   QUuid::createUuid(), ManagedCopyOptions{});
        atRename = nullptr;
        EXPECT_EQ(looked, 1);
        ASSERT_TRUE(copied) << copied.error().logText().toStdString();
        EXPECT_TRUE(QFileInfo::exists(copied->path));
        EXPECT_EQ(QFileInfo(copied->path).lastModified().toSecsSinceEpoch(), sourceChanged);
        EXPECT_FALSE(QFileInfo::exists(recovered));
    }
}

} // namespace
} // namespace vesk
