#include "common/TestEnvironment.h"
#include "intake/FileIntakeSupport.h"
#include "intake/ManagedStorage.h"
#include "platform/FileBirthTime.h"
#include "platform/Sha256.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesk {
namespace {

using test::writeFile;

TEST(Sha256, DigestsOfKnownInputsAndUnreadablePaths)
{
    const QString folder = test::makeTempDirectory();
    EXPECT_EQ(sha256HexOfFile(writeFile(folder + "/empty", {})),
              QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    EXPECT_EQ(sha256HexOfFile(writeFile(folder + "/abc", "abc")),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    // Larger than one read: the pieces must add up to the digest of the whole.
    QByteArray big(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 % 251);
    EXPECT_EQ(sha256HexOfFile(writeFile(folder + "/big", big)), sha256Hex(big));

    EXPECT_EQ(sha256HexOfFile(folder + "/missing"), std::nullopt);
    EXPECT_EQ(sha256HexOfFile(folder), std::nullopt);
    const QString pipe = folder + "/pipe";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(sha256HexOfFile(pipe), std::nullopt); // and does not wait for a writer
}

TEST(BoundedTextRead, KeepsTheFirstCharactersOfLargeFiles)
{
    const QString folder = test::makeTempDirectory();
    // Multi-byte characters (3 bytes each) so that read pieces end inside characters.
    QString text;
    for (int i = 0; i < 200'000; ++i)
        text.append(QChar(u'あ' + i % 40));
    const QString path = writeFile(folder + "/long.txt", text.toUtf8());
    const std::optional<QString> prefix = readUtf8Prefix(path, kMaxFileTextCharacters);
    ASSERT_TRUE(prefix);
    EXPECT_EQ(*prefix, text.left(kMaxFileTextCharacters));

    // A short file comes back whole, a byte-order mark dropped.
    EXPECT_EQ(readUtf8Prefix(writeFile(folder + "/bom.txt", "\xEF\xBB\xBFhi\n"), 10), QStringLiteral("hi\n"));
}

TEST(BoundedTextRead, CharactersAreNotSplitAtTheLimit)
{
    const QString folder = test::makeTempDirectory();
    // "e" + combining acute accent is one character of two code points.
    const QString accented = QStringLiteral("e\u0301");
    const QString text = QStringLiteral("ab") + accented + QStringLiteral("cd");
    const QString path = writeFile(folder + "/accent.txt", text.toUtf8());
    EXPECT_EQ(readUtf8Prefix(path, 3), QStringLiteral("ab") + accented);
    EXPECT_EQ(readUtf8Prefix(path, 100), text);
}

TEST(BoundedTextRead, InvalidUtf8IsNoText)
{
    const QString folder = test::makeTempDirectory();
    EXPECT_EQ(readUtf8Prefix(writeFile(folder + "/bad.txt", "ok \xFF\xFE bad"), 100), std::nullopt);
    EXPECT_EQ(readUtf8Prefix(writeFile(folder + "/cut.txt", "ends inside \xE3\x81"), 100), std::nullopt);
    EXPECT_EQ(readUtf8File(writeFile(folder + "/bad.html", "<p>\xC0\xAF</p>"), kMaxHtmlFileBytes), std::nullopt);
    EXPECT_EQ(readUtf8Prefix(folder + "/missing.txt", 10), std::nullopt);

    // A file longer than the byte limit is cut before the character that does not fit whole.
    const QString cut = writeFile(folder + "/long.html", QByteArray("abcd") + "\xE3\x81\x82" + "z");
    EXPECT_EQ(readUtf8File(cut, 5), QStringLiteral("abcd"));
}

TEST(FileTypes, ImagesByExtensionOrContentAndTextOnlyFromTextFiles)
{
    const QString folder = test::makeTempDirectory();
    QMimeDatabase mimes;
    EXPECT_TRUE(countsAsImage(QStringLiteral("/x/photo.HEIC"), std::nullopt));
    EXPECT_TRUE(countsAsImage(QStringLiteral("/x/drawing.svg"), mimes.mimeTypeForName("image/svg+xml")));
    EXPECT_FALSE(countsAsImage(QStringLiteral("/x/paper.pdf"), mimes.mimeTypeForName("application/pdf")));

    const QString html = writeFile(folder + "/page.htm", "<title>T</title><p>Body</p>");
    EXPECT_EQ(fileTextParts(html, readResourceValues(html).contentType), (QStringList{"T\nBody", "T"}));
    const QString notes = writeFile(folder + "/notes.txt", "plain words");
    EXPECT_EQ(fileTextParts(notes, readResourceValues(notes).contentType), QStringList{"plain words"});
    const QString binary = writeFile(folder + "/data.bin", QByteArray("\x00\x01\x02\xFF", 4));
    EXPECT_TRUE(fileTextParts(binary, readResourceValues(binary).contentType).isEmpty());
    // An SVG drawing is XML text to the type system, yet a picture: its markup is not indexed.
    const QString drawing = writeFile(folder + "/logo.svg",
        "<svg xmlns='http://www.w3.org/2000/svg' width='24' height='24'><path d='M0 0h24v24H0z'/></svg>");
    EXPECT_TRUE(countsAsImage(drawing, readResourceValues(drawing).contentType));
    EXPECT_TRUE(fileTextParts(drawing, readResourceValues(drawing).contentType).isEmpty());
}

TEST(FileTypes, SearchablePartsNameTheFileAndItsResourceValues)
{
    const QString folder = test::makeTempDirectory();
    const QString path = writeFile(folder + "/Budget Plan.PDF", QByteArray(1234, 'x'));
    const FileResourceValues values = readResourceValues(path);
    ASSERT_TRUE(values.fileSize);
    const QStringList parts = fileSearchableParts(path, values);
    ASSERT_GE(parts.size(), 6);
    EXPECT_EQ(parts.mid(0, 4), (QStringList{"Budget Plan.PDF", "Budget Plan", "PDF", "Budget Plan.PDF"}));
    EXPECT_TRUE(parts.contains(QStringLiteral("1234 bytes")));
    EXPECT_TRUE(parts.last().startsWith(QStringLiteral("modified ")));

    EXPECT_EQ(fileSearchableParts(folder + "/README", FileResourceValues{}),
              (QStringList{"README", "README", ""}));
}

class ManagedCopyTest : public ::testing::Test {
protected:
    QString source = test::makeTempDirectory(QStringLiteral("source"));
    QString items = test::makeTempDirectory(QStringLiteral("data")) + QStringLiteral("/Items");
};

TEST_F(ManagedCopyTest, FileLandsInItsItemFolderWithItsNameAndTime)
{
    const QString photo = writeFile(source + "/photo.jpg", "jpeg bytes");
    const QDateTime old = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
    {
        QFile file(photo);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    const QUuid first = QUuid::createUuid();
    const auto copied = copyIntoManagedStorage(photo, items, first);
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied.value(), items + "/" + uuidString(first) + "/photo.jpg");
    QFile copy(copied.value());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("jpeg bytes"));
    EXPECT_EQ(QFileInfo(copied.value()).lastModified().toUTC(), old);
    EXPECT_EQ(QDir(items + "/" + uuidString(first)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"photo.jpg"}); // no staging file left behind

    // A second file of the same name gets its own folder; the first copy is untouched.
    writeFile(photo, "other bytes");
    const auto second = copyIntoManagedStorage(photo, items, QUuid::createUuid());
    ASSERT_TRUE(second);
    EXPECT_NE(second.value(), copied.value());
    ASSERT_TRUE(copy.seek(0));
    EXPECT_EQ(copy.readAll(), QByteArray("jpeg bytes"));

    // An existing copy is returned as it is.
    EXPECT_EQ(copyIntoManagedStorage(photo, items, first).value(), copied.value());
}

// The copy is born now; the original's birth time travels beside it, for a file and a folder alike.
TEST_F(ManagedCopyTest, CopyRecordsTheOriginalsBirthTime)
{
    const QString note = writeFile(source + "/note.txt", "words");
    const QString album = source + "/Album";
    writeFile(album + "/a.txt", "a");
    const std::optional<QDateTime> noteBorn = fileBirthTime(note);
    if (!noteBorn)
        GTEST_SKIP() << "the temporary folder's file system keeps no birth times";
    // The copies are born measurably later.
    test::writeFileBornAfter(*noteBorn, source + "/clock.txt", {});
    const auto noteCopy = copyIntoManagedStorage(note, items, QUuid::createUuid());
    const auto albumCopy = copyIntoManagedStorage(album, items, QUuid::createUuid());
    ASSERT_TRUE(noteCopy);
    ASSERT_TRUE(albumCopy);
    if (!recordedCreation(noteCopy.value()))
        GTEST_SKIP() << "the temporary folder's file system refuses extended attributes";
    EXPECT_EQ(recordedCreation(noteCopy.value()), noteBorn);
    EXPECT_EQ(recordedCreation(albumCopy.value()), fileBirthTime(album));
    EXPECT_GT(fileBirthTime(noteCopy.value()).value(), *noteBorn);
}

TEST_F(ManagedCopyTest, FolderIsCopiedWithItsContentButNotItsLinks)
{
    const QString holiday = source + "/Holiday";
    writeFile(holiday + "/day1.txt", "beach");
    writeFile(holiday + "/photos/.hidden", "h");
    writeFile(source + "/outside.txt", "private");
    ASSERT_TRUE(QFile::link(source + "/outside.txt", holiday + "/link.txt"));
    ASSERT_TRUE(QFile::link(source, holiday + "/loop"));

    const auto copied = copyIntoManagedStorage(holiday + "/", items, QUuid::createUuid());
    ASSERT_TRUE(copied);
    EXPECT_TRUE(copied.value().endsWith(QStringLiteral("/Holiday")));
    EXPECT_TRUE(QFileInfo(copied.value() + "/day1.txt").isFile());
    EXPECT_TRUE(QFileInfo(copied.value() + "/photos/.hidden").isFile());
    EXPECT_FALSE(QFileInfo::exists(copied.value() + "/link.txt"));
    EXPECT_FALSE(QFileInfo::exists(copied.value() + "/loop"));
}

TEST_F(ManagedCopyTest, FailedCopyLeavesNothingAndSaysWhy)
{
    const auto missing = copyIntoManagedStorage(source + "/gone.pdf", items, QUuid::createUuid());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);

    const QString pipe = source + "/pipe";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(copyIntoManagedStorage(pipe, items, QUuid::createUuid()));
    EXPECT_TRUE(QDir(items).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
        << qPrintable(QDir(items).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).join(","));
}

} // namespace
} // namespace vesk

namespace vesk {
namespace {

TEST(ManagedCopy, NamesAtTheFileSystemLimitAreCopied)
{
    const QString source = test::makeTempDirectory(QStringLiteral("source"));
    const QString items = test::makeTempDirectory(QStringLiteral("data")) + QStringLiteral("/Items");
    const QString name = QString(251, QLatin1Char('n')) + QStringLiteral(".pdf"); // 255 bytes
    writeFile(source + "/" + name, "long name");
    const auto copied = copyIntoManagedStorage(source + "/" + name, items, QUuid::createUuid());
    ASSERT_TRUE(copied) << qPrintable(copied.error().logText());
    EXPECT_TRUE(copied.value().endsWith(QLatin1Char('/') + name));
    EXPECT_TRUE(QFileInfo(copied.value()).isFile());
}

} // namespace
} // namespace vesk

namespace vesk {
namespace {

TEST(ManagedCopy, AFolderHoldingTheLibraryIsNeverCopiedIntoItself)
{
    const QString home = test::makeTempDirectory(QStringLiteral("home"));
    writeFile(home + "/notes.txt", "mine");
    const QString items = home + QStringLiteral("/.local/share/Vesk/Items");
    writeFile(items + "/OLD/kept.txt", "kept");

    const auto refused = copyIntoManagedStorage(home, items, QUuid::createUuid());
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().plainWords(), QStringLiteral("the folder holds the library's own storage"));
    EXPECT_EQ(QDir(items).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"OLD"});
    // Through a link to it as well.
    const QString link = test::makeTempDirectory(QStringLiteral("links")) + QStringLiteral("/home");
    ASSERT_TRUE(QFile::link(home, link));
    EXPECT_FALSE(copyIntoManagedStorage(link, items, QUuid::createUuid()));

    // The same folder kept by a library elsewhere is fine.
    const QString elsewhere = test::makeTempDirectory(QStringLiteral("elsewhere")) + QStringLiteral("/Items");
    const auto sibling = copyIntoManagedStorage(home, elsewhere, QUuid::createUuid());
    EXPECT_TRUE(sibling) << qPrintable(sibling.error().logText());
}

} // namespace
} // namespace vesk

namespace vesk {
namespace {

constexpr uid_t kNobody = 65534;

// Gives a folder tree to the unprivileged user, so a child that has become that user can use it.
void giveToNobody(const QString& root)
{
    QStringList paths{root};
    QDirIterator all(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (all.hasNext())
        paths.append(all.next());
    for (const QString& path : std::as_const(paths))
        ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), kNobody, kNobody), 0) << path.toStdString();
}

// Runs body as an ordinary user and gives its result: permissions do not hold for root, so root
// runs it in a child that has dropped its privileges.
int asOrdinaryUser(const std::function<int()>& body)
{
    if (::geteuid() != 0)
        return body();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return 254;
    return WEXITSTATUS(status);
}

TEST(ManagedCopy, AFolderWithAnUnreadablePartIsNotCopiedWithAHole)
{
    // Under the system's temporary folder, which every user can reach (the tests' own is private).
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/vesk-unreadable-XXXXXX"));
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QFile::setPermissions(root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                       | QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString source = root.path() + QStringLiteral("/source");
    const QString items = root.path() + QStringLiteral("/data/Items");
    writeFile(source + "/Album/cover.txt", "cover");
    writeFile(source + "/Album/Closed/inside.txt", "private");
    writeFile(source + "/Listed/Unsearchable/inside.txt", "private");
    writeFile(source + "/Locked/cover.txt", "cover");
    const QString locked = writeFile(source + "/Locked/locked.txt", "private");
    QDir().mkpath(root.path() + QStringLiteral("/data"));
    if (::geteuid() == 0)
        giveToNobody(root.path());
    ASSERT_TRUE(QFile::setPermissions(source + "/Album/Closed", {}));
    ASSERT_TRUE(QFile::setPermissions(source + "/Listed/Unsearchable", QFileDevice::ReadOwner));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));

    enum Fault { ClosedCopied = 1, UnsearchableCopied = 2, LockedCopied = 4, SomethingLeft = 8 };
    const int faults = asOrdinaryUser([&] {
        int found = 0;
        if (copyIntoManagedStorage(source + "/Album", items, QUuid::createUuid()))
            found |= ClosedCopied;
        if (copyIntoManagedStorage(source + "/Listed", items, QUuid::createUuid()))
            found |= UnsearchableCopied;
        if (copyIntoManagedStorage(source + "/Locked", items, QUuid::createUuid()))
            found |= LockedCopied;
        if (!QDir(items).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
            found |= SomethingLeft;
        return found;
    });
    EXPECT_EQ(faults, 0) << "1: a folder with a closed subfolder was copied, 2: one with an unsearchable subfolder, "
                            "4: one with an unreadable file, 8: something was left in Items";

    QFile::setPermissions(source + "/Album/Closed", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(source + "/Listed/Unsearchable", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace
} // namespace vesk
