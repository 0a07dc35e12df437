// The copy loop of managed files: every byte arrives and is hashed whatever the size's relation
// to the buffers and the disk's blocks, written through the page cache or past it; a cancel
// leaves nothing; a write the disk cuts short is reported, never taken for a finished copy.
#include "common/TestEnvironment.h"
#include "intake/FileImportJob.h"
#include "intake/ManagedStorage.h"
#include "platform/Sha256.h"
#include "platform/Uuid.h"
#include "store/FaultInjection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/statvfs.h>

namespace vesk {
namespace {

using test::writeFile;

constexpr qint64 kMiB = qint64(1) << 20;

QByteArray patternedBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = char(state);
    }
    return bytes;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum class Mode { Cached, Uncached, UncachedUnhashed };

class ManagedCopyStreamTest : public ::testing::Test {
protected:
    QString source = test::makeTempDirectory(QStringLiteral("source"));
    QString items = test::makeTempDirectory(QStringLiteral("data")) + QStringLiteral("/Items");

    static ManagedCopyOptions optionsFor(Mode mode)
    {
        ManagedCopyOptions options;
        options.hashContent = mode != Mode::UncachedUnhashed;
        options.uncachedFromBytes = mode == Mode::Cached ? std::numeric_limits<qint64>::max() : 0;
        return options;
    }

    QString folderOf(const QUuid& id) const { return items + QLatin1Char('/') + uuidString(id); }
};

TEST_F(ManagedCopyStreamTest, EveryByteArrivesAndIsHashedAroundBufferAndBlockEdges)
{
    const QList<qint64> sizes = {0,           1,           4095,        4096,        4097,
                                 kMiB - 1,    2 * kMiB - 1, 2 * kMiB,   2 * kMiB + 1, 8 * kMiB,
                                 8 * kMiB + 4097, 9 * kMiB + 5};
    const QByteArray all = patternedBytes(sizes.last());
    for (Mode mode : {Mode::Cached, Mode::Uncached, Mode::UncachedUnhashed}) {
        for (qint64 size : sizes) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << ", " << size << " bytes");
            const QByteArray bytes = all.left(size);
            const QString film = writeFile(source + QStringLiteral("/film.mov"), bytes);
            ManagedCopyOptions options = optionsFor(mode);
            QList<qint64> progress;
            options.progress = [&](qint64 done) { progress.append(done); };

            const auto copied = copyIntoManagedStorage(QFile::encodeName(film), QStringLiteral("film.mov"), items,
                                                       QUuid::createUuid(), options);
            ASSERT_TRUE(copied) << copied.error().logText().toStdString();
            EXPECT_EQ(copied->size, size);
            ASSERT_EQ(QFileInfo(copied->path).size(), size);
            EXPECT_TRUE(contents(copied->path) == bytes);
            if (mode == Mode::UncachedUnhashed)
                EXPECT_FALSE(copied->sha256);
            else
                EXPECT_EQ(copied->sha256, sha256Hex(bytes));
            if (size > 0) {
                ASSERT_FALSE(progress.isEmpty());
                EXPECT_EQ(progress.last(), size);
                EXPECT_TRUE(std::is_sorted(progress.cbegin(), progress.cend()));
            }
            EXPECT_FALSE(QFileInfo::exists(QFileInfo(copied->path).path() + QLatin1Char('/') + managedStagingName()));
        }
    }
}

TEST_F(ManagedCopyStreamTest, ACancelAtAnyPointLeavesNothing)
{
    const qint64 size = 12 * kMiB + 7;
    const QString film = writeFile(source + QStringLiteral("/film.mov"), patternedBytes(size));
    for (Mode mode : {Mode::Cached, Mode::Uncached, Mode::UncachedUnhashed}) {
        // At the first bytes, part way, and once the last bytes are written.
        for (qint64 cancelFrom : {qint64(1), 5 * kMiB, size}) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << ", cancelled from " << cancelFrom << " bytes");
            CancellationToken cancel;
            ManagedCopyOptions options = optionsFor(mode);
            options.cancel = cancel;
            options.progress = [&](qint64 done) {
                if (done >= cancelFrom)
                    cancel.cancel();
            };
            const QUuid id = QUuid::createUuid();
            const auto copied = copyIntoManagedStorage(QFile::encodeName(film), QStringLiteral("film.mov"), items, id, options);
            ASSERT_FALSE(copied);
            EXPECT_EQ(copied.error(), managedCopyCancelled());
            EXPECT_FALSE(QFileInfo::exists(folderOf(id)));
        }
    }
}

// Files may grow no larger than a limit while it is set: the system cuts a write short at the
// limit and refuses the next one with "file too large", as a disk running full does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {bytes, m_before.rlim_max};
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_signal);
    }
    bool isSet() const { return m_set; }

private:
    struct rlimit m_before {};
    void (*m_signal)(int) = nullptr;
    bool m_set = false;
};

TEST_F(ManagedCopyStreamTest, AWriteTheDiskCutsShortIsReportedAndLeavesNothing)
{
    const QString film = writeFile(source + QStringLiteral("/film.mov"), patternedBytes(10 * kMiB));
    for (Mode mode : {Mode::Cached, Mode::Uncached, Mode::UncachedUnhashed}) {
        SCOPED_TRACE(testing::Message() << "mode " << int(mode));
        const QUuid id = QUuid::createUuid();
        Expected<ManagedCopy, IoFailure> copied = unexpected(IoFailure());
        {
            // Not at a buffer's edge: the write that meets the limit is cut short part way.
            const FileSizeLimit limit(rlim_t(5 * kMiB + 12345));
            ASSERT_TRUE(limit.isSet());
            copied = copyIntoManagedStorage(QFile::encodeName(film), QStringLiteral("film.mov"), items, id, optionsFor(mode));
        }
        ASSERT_FALSE(copied);
        EXPECT_EQ(copied.error(), IoFailure::writing(EFBIG));
        EXPECT_FALSE(QFileInfo::exists(folderOf(id)));
    }

    // The import says so in words a person understands.
    FileImportRequest request;
    request.sourceNative = QFile::encodeName(film);
    request.itemsDirectory = items;
    request.id = QUuid::createUuid();
    FileImportResult result;
    {
        const FileSizeLimit limit(rlim_t(3 * kMiB + 1));
        ASSERT_TRUE(limit.isSet());
        result = runFileImport(request);
    }
    EXPECT_EQ(result.outcome, FileImportResult::Outcome::Failed);
    EXPECT_EQ(result.reason, QStringLiteral("the disk is full"));
    EXPECT_FALSE(QFileInfo::exists(folderOf(request.id)));
}

// A few bytes with gigabytes of holes (a file made by truncate, in a package too) stay a few bytes
// in the library; a copy the disk has no room for, with some to spare, is refused before a byte
// is written. On a small disk of its own, so that a copy written out whole fails rather than
// filling the machine's disk.
TEST_F(ManagedCopyStreamTest, HolesStayHolesAndACopyThatWouldNotFitIsRefusedBeforeItStarts)
{
    const QString data = QFileInfo(items).path();
    test::SmallDisk disk(data, "size=64m");
    if (!disk.active())
        GTEST_SKIP() << "mounting a small disk takes root";

    const auto sparse = [](const QString& path, qint64 size) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\xFF\xD8\xFF\xE0", 4) + patternedBytes(996));
        EXPECT_TRUE(file.resize(size));
    };
    struct Case {
        const char* name;
        // Makes the entry to copy; gives its path and the file in it to look at.
        std::function<std::pair<QString, QString>()> make;
        bool hashed;
        bool fits;
    };
    const Case cases[] = {
        {"a file with a hole of 256 MiB, hashed", [&] {
             const QString file = source + "/sparse.bin";
             sparse(file, 256 * kMiB);
             return std::pair{file, QString()};
         }, true, true},
        {"a package whose photo has a hole of 20 GiB", [&] {
             const QString package = source + "/Walk.veskactivity";
             sparse(package + "/media/a.jpg", 20 * 1024 * kMiB);
             writeFile(package + "/activity.json", "{}");
             return std::pair{package, QStringLiteral("media/a.jpg")};
         }, false, true},
        {"a file that leaves the disk half a mebibyte", [&] {
             struct statvfs room {};
             EXPECT_EQ(::statvfs(QFile::encodeName(data).constData(), &room), 0);
             const QString file = writeFile(source + "/nearly full.bin",
                                            patternedBytes(qint64(room.f_bavail) * qint64(room.f_frsize) - kMiB / 2));
             return std::pair{file, QString()};
         }, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [entry, inner] = c.make();
        const QString sourceFile = inner.isEmpty() ? entry : entry + "/" + inner;
        const QUuid id = QUuid::createUuid();
        ManagedCopyOptions options;
        options.hashContent = c.hashed;
        const auto copied = copyIntoManagedStorage(QFile::encodeName(entry), QFileInfo(entry).fileName(), items, id, options);
        if (!c.fits) {
            ASSERT_FALSE(copied);
            EXPECT_TRUE(copied.error().logText().endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))))
                << copied.error().logText().toStdString();
            EXPECT_EQ(copied.error().plainWords(), "the disk is full");
            EXPECT_FALSE(QFileInfo::exists(folderOf(id)));
            continue;
        }
        ASSERT_TRUE(copied) << copied.error().logText().toStdString();
        const QString copyFile = inner.isEmpty() ? copied->path : copied->path + "/" + inner;
        struct stat original {}, copy {};
        ASSERT_EQ(::stat(QFile::encodeName(sourceFile).constData(), &original), 0);
        ASSERT_EQ(::stat(QFile::encodeName(copyFile).constData(), &copy), 0);
        EXPECT_EQ(copy.st_size, original.st_size);
        EXPECT_LE(qint64(copy.st_blocks) * 512, qint64(original.st_blocks) * 512 + 64 * 1024);
        QFile file(copyFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QFile originalFile(sourceFile);
        ASSERT_TRUE(originalFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.read(8192), originalFile.read(8192));
        if (c.hashed)
            EXPECT_EQ(copied->sha256, sha256HexOfNativeFile(QFile::encodeName(sourceFile)));
        QDir(folderOf(id)).removeRecursively();
    }
}

} // namespace
} // namespace vesk
